#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <gtest/gtest.h>

// A test program's entry with the application object its tests need.
#define FALAVOX_TEST_MAIN(AppClass)                                                            \
    int main(int argc, char** argv) {                                                          \
        AppClass app(argc, argv);                                                              \
        ::testing::InitGoogleTest(&argc, argv);                                                \
        return RUN_ALL_TESTS();                                                                \
    }
