// Two copies of the program in one process, on loopback, as two users would see them:
// "dialog" stops with the invitation on the invited side's screen; "session" shows both
// chat windows side by side after a few lines. Stays up until killed.
#include "app/Frminicial.h"
#include "chat/FrmChat.h"
#include "platform/system/Cp1252.h"
#include "session/AskChat.h"
#include "session/FrmAskchat.h"
#include "tests/support/AnswerClock.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <memory>

namespace {

void type(chat::TfrmChat* window, const char* utf8) {
    auto* input = window->findChild<QLineEdit*>("mmomensagem");
    input->setText(QString::fromUtf8(utf8));
    QTest::keyClick(input, Qt::Key_Return);
}

void settle(int ms) {
    QTest::qWait(ms);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const bool dialogOnly = argc > 1 && std::strcmp(argv[1], "dialog") == 0;

    app::Tfrminicial ana({"127.0.0.2", "2200"}, app::TrayIcon::Backend::SystemTray);
    app::Tfrminicial beto({"127.0.0.3", "2200"}, app::TrayIcon::Backend::SystemTray);
    ana.FormCreate();
    beto.FormCreate();
    // Start-up goes on on the event loop: its scan ends, and the listener opens, there.
    while (ana.Scanning() || beto.Scanning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ana.UserName = "Ana";
    beto.UserName = "Beto";
    ana.SettingsOwner.settings().ChatConvite =
        platform::toCp1252(QString::fromUtf8("Vamos revisar a ata da reunião?"));

    testsupport::AnswerClock answerClock;
    session::askchat::setShownHook([dialogOnly, &answerClock](session::TfrmAskchat& dialog) {
        if (dialogOnly) {
            for (int i = 0; i < 42; ++i)
                dialog.Timer1Timer();
            return; // stays up
        }
        answerClock.settle();
        dialog.btnAceitarClick();
    });
    ana.Invite("127.0.0.3");
    if (dialogOnly) {
        // The inviting side's window out of the way of the invited side's dialog.
        ana.frmChat->move(10, 60);
        return application.exec();
    }

    while (!beto.frmChat || !ana.frmChat)
        settle(20);
    settle(200);
    ana.frmChat->move(10, 40);
    beto.frmChat->move(560, 140);
    type(ana.frmChat, "Oi Beto, tudo bem? Já viu a ata?");
    settle(100);
    type(beto.frmChat, "Tudo ótimo! Vi sim, está na pasta <b>compartilhada</b>.");
    settle(100);
    type(ana.frmChat, "Ótimo, obrigado!");
    settle(100);
    return application.exec();
}
