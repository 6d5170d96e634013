#include "app/Application.h"
#include "app/Frminicial.h"
#include "app/StartupDiagnostics.h"
#include "platform/NetworkNeighbourhood.h"
#include "session/Protocol.h"
#include "ui/ApplicationTitle.h"

#include <cstdio>

// The program has no command line: Qt's own options aside, arguments are ignored.
int main(int argc, char** argv) {
    // The toolkit's own event loop, rather than GLib's, costs a chat line noticeably
    // less time on its way from the socket to the window.
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    // Without a display the toolkit would abort with a page of advice and a core dump;
    // whoever started the program gets one plain line instead.
    if (const std::string reason = app::missingDisplayReason(argc, argv); !reason.empty()) {
        std::fprintf(stderr, "falavox: %s\n", reason.c_str());
        return app::noDisplayExitCode;
    }
    app::ToolkitStartGuard toolkitStart;
    app::TApplication application(argc, argv);
    toolkitStart.finish();
    QApplication::setApplicationName(QStringLiteral("falavox"));
    ui::setApplicationTitle(QStringLiteral("Falavox©"));
    // The program lives in the tray: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    app::Tfrminicial frminicial;
    QApplication::setWindowIcon(frminicial.Image2);
    // The network neighbourhood: what the tray menu lists, and this copy's announcement
    // on the network, for as long as the program runs.
    frminicial.setNeighbourhood(platform::startSystemNeighbourhood(session::kSessionPortNumber));
    frminicial.FormCreate();
    if (frminicial.Terminated()) return frminicial.ExitCode();
    return application.exec();
}
