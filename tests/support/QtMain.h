#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <gtest/gtest.h>
#include <type_traits>

namespace testsupport {

// Settings files go to the test's own scratch folder when it has one, also when the
// program is started by hand rather than by ctest.
inline void useScratchConfigFolder() {
    if (const QByteArray scratch = qgetenv("FALAVOX_TEST_TMP"); !scratch.isEmpty())
        qputenv("XDG_CONFIG_HOME", scratch + "/config");
}

} // namespace testsupport

// A test program's entry with the application object its tests need. Closing a test's
// last window must not end the application: Qt would leave every event loop the tests
// are spinning.
#define FALAVOX_TEST_MAIN(AppClass)                                                                \
    int main(int argc, char** argv) {                                                              \
        testsupport::useScratchConfigFolder();                                                     \
        AppClass app(argc, argv);                                                                  \
        if constexpr (std::is_base_of_v<QGuiApplication, AppClass>)                                \
            QGuiApplication::setQuitOnLastWindowClosed(false);                                     \
        ::testing::InitGoogleTest(&argc, argv);                                                    \
        return RUN_ALL_TESTS();                                                                    \
    }
