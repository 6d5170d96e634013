#pragma once

// A chat window over a real loopback session: the window's CliSocket is connected to a
// plain POSIX peer that the test reads and writes directly.

#include "chat/FrmChat.h"
#include "net/EventSocket.h"
#include "tests/support/EventLoop.h"
#include "tests/support/RawPeer.h"
#include "ui/MessageBox.h"

#include <QDir>
#include <QPointer>
#include <gtest/gtest.h>
#include <string>
#include <vector>

class ChatWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString root =
            qEnvironmentVariable("FALAVOX_TEST_TMP", QDir::tempPath() + "/falavox-chat-test");
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        configHome_ = root + "/" + QString::fromUtf8(info->name());
        QDir(configHome_).removeRecursively();
        QDir().mkpath(configHome_);
        qputenv("XDG_CONFIG_HOME", configHome_.toUtf8());
        ui::messageBoxHook() = [this](const ui::ShownBox& box) { boxes.push_back(box); };
    }

    void TearDown() override {
        delete window.data();
        if (peerFd >= 0) testsupport::rawClose(peerFd);
        ui::messageBoxHook() = nullptr;
    }

    void connectSession() {
        cli.SetAddr("127.0.0.1");
        cli.SetPort(std::to_string(listener.port()));
        cli.SetProto("tcp");
        cli.Connect();
        peerFd = listener.accept();
        ASSERT_GE(peerFd, 0);
        ASSERT_TRUE(testsupport::waitUntil([&] { return cli.State() == net::wsConnected; }));
    }

    chat::TfrmChat* openWindow(const std::string& user = "Ana") {
        window = new chat::TfrmChat(user, cli);
        window->show();
        return window.data();
    }

    template <class T> T* child(const char* name) {
        return window->findChild<T*>(QLatin1String(name));
    }

    QString iniPath() const { return configHome_ + "/falavox/falavox.ini"; }

    QString configHome_;
    net::TEventSocket cli;
    testsupport::RawListener listener;
    int peerFd = -1;
    QPointer<chat::TfrmChat> window;
    std::vector<ui::ShownBox> boxes;
};
