// The main form's notices on this computer's real interfaces, for the tests that run it
// inside network namespaces:
//   notice_app_probe winpopup USER PEER TEXT   SendWinPopUpNotice, then "done"
//   notice_app_probe invite PEER TEXT nt|95 [SHOT.png]
//        an invitation with the notice flag set; prints the chat window's transcript once
//        it reports, then "longest pause: N ms", the longest the event loop went without
//        serving a 10 ms timer meanwhile; saves a picture of the window when asked
// Texts come as UTF-8 and are handed on as Windows-1252, as the program holds them.
#include "app/Frminicial.h"
#include "platform/system/Cp1252.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

std::string ansi(const char* utf8) {
    return platform::toCp1252(QString::fromUtf8(utf8));
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    const std::string mode = argv[1];
    app::Tfrminicial form(app::ListenEndpoint{"127.0.0.1", "2200"});
    if (mode == "winpopup" && argc == 5) {
        form.SendWinPopUpNotice(ansi(argv[2]), ansi(argv[3]), ansi(argv[4]));
        std::printf("done active=%d\n", form.Messenger1.Active());
        return 0;
    }
    if (mode != "invite" || argc < 5) return 2;
    form.UserName = "Ana";
    form.NtFamily = std::string(argv[4]) == "nt";
    // The notice flag and the invitation text set in "Opções", as a user sets them.
    form.mnuOpcoesClick();
    auto* options = form.frmConfiguracao.data();
    if (!options) return 3;
    options->findChild<QCheckBox*>(QStringLiteral("CheckBox2"))->setChecked(true);
    options->findChild<QLineEdit*>(QStringLiteral("edtChat"))->setText(QString::fromUtf8(argv[3]));
    options->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
    QCoreApplication::processEvents();
    if (!form.Settings().WinPopUp || form.Settings().ChatConvite != ansi(argv[3])) return 4;
    QElapsedTimer sinceTick;
    qint64 longestPause = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestPause = std::max(longestPause, sinceTick.restart()); });
    sinceTick.start();
    ticker.start(10);
    form.Invite(ansi(argv[2]));
    QElapsedTimer clock;
    clock.start();
    const auto transcript = [&] {
        const auto* memo = form.frmChat
                               ? form.frmChat->findChild<QPlainTextEdit*>(QStringLiteral("memo1"))
                               : nullptr;
        return memo ? memo->toPlainText() : QString();
    };
    const auto reported = [&] {
        const QString text = transcript();
        return text.contains(QStringLiteral("Seu convite")) ||
               text.contains(QStringLiteral("Não foi possivel"));
    };
    while (!reported() && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    longestPause = std::max(longestPause, sinceTick.elapsed());
    std::printf("%s\n", transcript().toUtf8().constData());
    std::printf("longest pause: %lld ms\n", static_cast<long long>(longestPause));
    if (argc == 6 && form.frmChat) form.frmChat->grab().save(QString::fromLocal8Bit(argv[5]));
    return reported() ? 0 : 1;
}
