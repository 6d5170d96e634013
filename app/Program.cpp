#include "app/Program.h"

#include "app/Application.h"
#include "app/DesktopPlatform.h"
#include "app/Frminicial.h"
#include "app/StartupDiagnostics.h"
#include "platform/system/SessionBus.h"
#include "ui/ApplicationTitle.h"

#include <cstdio>

namespace app {

int runProgram(
    int argc, char** argv,
    const std::function<std::shared_ptr<platform::SystemNeighbourhood>()>& startNeighbourhood) {
    // Before the toolkit, whose tray icon, notifications and accessibility all reach for
    // the session bus: a desktop without one must not get one started by the program.
    platform::keepSessionBusFromAutolaunching();
    // The toolkit's own event loop, rather than GLib's, costs a chat line noticeably
    // less time on its way from the socket to the window.
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    // Without a display the toolkit would abort with a page of advice and a core dump;
    // whoever started the program gets one plain line instead.
    if (const std::string reason = missingDisplayReason(argc, argv); !reason.empty()) {
        std::fprintf(stderr, "falavox: %s\n", reason.c_str());
        return noDisplayExitCode;
    }
    // GNOME draws title bars only for X11 windows: there the program runs through XWayland.
    choosePlatform(argc, argv);
    ToolkitStartGuard toolkitStart;
    TApplication application(argc, argv);
    toolkitStart.finish();
    QApplication::setApplicationName(QStringLiteral("falavox"));
    ui::setApplicationTitle(ui::programTitle());
    // The program lives in the tray: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    Tfrminicial frminicial;
    QApplication::setWindowIcon(frminicial.Image2);
    // The tray icon first, as soon as the toolkit can show it: it is what the user waits
    // for, and neither the network neighbourhood nor the stored settings change it (only
    // the menu shows settings, and it opens later). FormCreate finds it shown.
    frminicial.TryIcon.activate();
    // The network neighbourhood: what the tray menu lists, and this copy's announcement
    // on the network, for as long as the program runs.
    frminicial.setNeighbourhood(startNeighbourhood());
    frminicial.FormCreate();
    if (frminicial.Terminated()) return frminicial.ExitCode();
    return application.exec();
}

} // namespace app
