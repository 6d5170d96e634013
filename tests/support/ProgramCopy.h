#pragma once

// One running copy of the program in the test's own process, listening on a loopback
// address of its own, with its tray icon as a plain window. Two of them chat with each
// other as two users on two computers would. Header-only: only the programs that use it
// link the application's library.

#include "app/Frminicial.h"
#include "chat/FrmChat.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <memory>
#include <string>

namespace testsupport {

struct ProgramCopy {
    std::unique_ptr<app::Tfrminicial> form;
    std::string address;

    ProgramCopy(const std::string& address, const std::string& port, const std::string& user)
        : form(std::make_unique<app::Tfrminicial>(app::ListenEndpoint{address, port},
                                                  app::TrayIcon::Backend::Window)),
          address(address) {
        form->FormCreate();
        // Start-up goes on on the event loop: its scan ends, and the listener opens, there.
        while (form->Scanning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        form->UserName = user;
    }

    bool listening() const { return form->SrvSocket.State() == net::wsListening; }

    chat::TfrmChat* chat() const { return form->frmChat.data(); }

    QStringList transcript() const {
        if (!chat()) return {};
        QString text = chat()->findChild<QPlainTextEdit*>("memo1")->toPlainText();
        if (text.endsWith('\n')) text.chop(1);
        return text.isEmpty() ? QStringList() : text.split('\n');
    }
    // The transcript with the time stamps of chat lines taken out.
    QStringList lines() const {
        QStringList result;
        static const QRegularExpression stamp(QStringLiteral("^<([^>]*) [0-9][^>]*> "));
        for (QString line : transcript())
            result << line.replace(stamp, QStringLiteral("<\\1> "));
        return result;
    }
    bool showsLine(const QString& line) const { return lines().contains(line); }

    QLineEdit* input() const { return chat()->findChild<QLineEdit*>("mmomensagem"); }
    void type(const QString& text) const {
        input()->setText(text);
        QTest::keyClick(input(), Qt::Key_Return);
    }
    QStringList users() const {
        QStringList names;
        auto* list = chat()->findChild<QTreeWidget*>("ListUser");
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            names << list->topLevelItem(i)->text(0);
        return names;
    }
    bool connectedLook() const {
        return input()->isEnabled() && chat()->findChild<QToolButton*>("btnEncerrar")->isVisible();
    }
    net::TSocketState session() const { return form->CliSocket.State(); }
};

} // namespace testsupport
