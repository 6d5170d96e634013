// The real program's main form under a real X server, with a scripted network
// neighbourhood instead of the system's, for the whole-program test and the screenshots:
//
//   tray_harness menu   one copy on 127.0.0.2:2200 whose network lists two workgroups
//   tray_harness slow   the same network answering each container after 2 s, and a
//                       "&Refresh" one second after start-up
//   tray_harness pair   as "menu", plus a second copy on 127.0.0.3:2200 (with the stand-in
//                       window) listed as a computer of workgroup "GRUPO"
//
// Prints "ready" once started, "hint <text>" whenever the tray icon's tooltip changes and
// "menu opened" whenever the tray menu is about to show, and
// "A: <text>" / "B: <text>" whenever a copy's chat transcript changes. Runs until killed.
#include "app/Frminicial.h"
#include "platform/system/SessionBus.h"
#include "tests/support/ScriptedNeighbourhood.h"
#include "ui/ApplicationTitle.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstdio>
#include <cstring>

using namespace testsupport;
using namespace std::chrono_literals;

namespace {

std::shared_ptr<ScriptedNeighbourhood> officeNetwork(bool withSecondCopy,
                                                     std::chrono::milliseconds delay) {
    const std::string smb = platform::smbProviderName;
    const std::string dnssd = platform::dnssdProviderName;
    auto windows = std::make_shared<ScriptedProvider>(smb);
    windows->script("", {{domainRecord("ESCRITORIO", smb), domainRecord("GRUPO", smb)}});
    windows->script("ESCRITORIO", {{serverRecord("ANA-PC", smb), serverRecord("BETO-PC", smb),
                                    serverRecord("CAIO-NOTEBOOK", smb),
                                    shareRecord("\\\\ANA-PC\\Documentos", smb)}});
    std::vector<NetResource> grupo{serverRecord("RECEPCAO", smb), serverRecord("SERVIDOR", smb)};
    if (withSecondCopy) grupo.insert(grupo.begin(), serverRecord("127.0.0.3", smb));
    windows->script("GRUPO", grupo);
    auto multicast = std::make_shared<ScriptedProvider>(dnssd);
    multicast->script("", {{domainRecord("local", dnssd)}});
    multicast->script("local", {{serverRecord("notebook-dani", dnssd)}});
    windows->setDelay(delay);
    multicast->setDelay(delay);
    return std::make_shared<ScriptedNeighbourhood>(
        std::vector<std::shared_ptr<platform::NetworkProvider>>{windows, multicast});
}

void say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString transcript(const app::Tfrminicial& form) {
    if (!form.frmChat) return {};
    const auto* memo = form.frmChat->findChild<QPlainTextEdit*>(QStringLiteral("memo1"));
    return memo ? memo->toPlainText().replace(QLatin1Char('\n'), QLatin1Char('|')) : QString();
}

} // namespace

int main(int argc, char** argv) {
    // As the program does: a desktop without a session bus gets none started.
    platform::keepSessionBusFromAutolaunching();
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ui::setApplicationTitle(QStringLiteral("Falavox©"));
    const std::string mode = argc > 1 ? argv[1] : "menu";
    const bool slow = mode == "slow";
    const bool pair = mode == "pair";

    app::Tfrminicial ana({"127.0.0.2", "2200"}, app::TrayIcon::Backend::SystemTray);
    ana.setNeighbourhood(officeNetwork(pair, slow ? 2000ms : 0ms));
    std::unique_ptr<app::Tfrminicial> beto;
    if (pair)
        beto = std::make_unique<app::Tfrminicial>(app::ListenEndpoint{"127.0.0.3", "2200"},
                                                  app::TrayIcon::Backend::Window);

    QString hint, anaLines, betoLines;
    const auto report = [&] {
        if (ana.TryIcon.hint() != hint) say(QStringLiteral("hint ") + (hint = ana.TryIcon.hint()));
        if (transcript(ana) != anaLines) say(QStringLiteral("A: ") + (anaLines = transcript(ana)));
        if (beto && transcript(*beto) != betoLines)
            say(QStringLiteral("B: ") + (betoLines = transcript(*beto)));
    };
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, report);
    watcher.start(20);
    QObject::connect(&ana.menu1, &QMenu::aboutToShow, [] { say(QStringLiteral("menu opened")); });

    // Slow mode: the start-up scan is cut short, so that the slow scan is the "&Refresh"
    // that follows.
    const auto refreshBound = ana.RefreshScanBound;
    if (slow) ana.StartupScanBound = ana.RefreshScanBound = 100ms;
    ana.FormCreate();
    ana.RefreshScanBound = refreshBound;
    if (beto) {
        beto->FormCreate();
        beto->UserName = "Beto";
    }
    ana.UserName = "Ana";
    // Start-up goes on on the event loop: its scan ends, and the listener opens, there.
    while (ana.Scanning() || (beto && beto->Scanning()))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (ana.Terminated() || (beto && beto->Terminated())) return 1;
    if (slow) QTimer::singleShot(1000, ana.mnuRefresh, &QAction::trigger);
    // The state after start-up is reported before "ready": a hint of the start-up scan seen
    // after it would pass for one of the "&Refresh" that follows.
    report();
    say(QStringLiteral("ready"));
    return application.exec();
}
