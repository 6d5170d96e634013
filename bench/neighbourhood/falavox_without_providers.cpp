// The program's start-up exactly as app/main.cpp does it, with a network neighbourhood
// that has no provider and announces nothing: the baseline against which
// startup_to_listening.py measures what the real neighbourhood adds before the listener
// opens.
#include "app/Application.h"
#include "app/Frminicial.h"
#include "app/StartupDiagnostics.h"
#include "platform/NetworkNeighbourhood.h"
#include "ui/ApplicationTitle.h"

#include <cstdio>

namespace {

class NoNeighbourhood : public platform::SystemNeighbourhood {
public:
    std::vector<std::shared_ptr<platform::NetworkProvider>> providers() const override {
        return {};
    }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    if (const std::string reason = app::missingDisplayReason(argc, argv); !reason.empty()) {
        std::fprintf(stderr, "falavox_without_providers: %s\n", reason.c_str());
        return app::noDisplayExitCode;
    }
    app::ToolkitStartGuard toolkitStart;
    app::TApplication application(argc, argv);
    toolkitStart.finish();
    QApplication::setApplicationName(QStringLiteral("falavox"));
    ui::setApplicationTitle(QStringLiteral("Falavox©"));
    QApplication::setQuitOnLastWindowClosed(false);

    app::Tfrminicial frminicial;
    QApplication::setWindowIcon(frminicial.Image2);
    frminicial.setNeighbourhood(std::make_shared<NoNeighbourhood>());
    frminicial.FormCreate();
    if (frminicial.Terminated()) return frminicial.ExitCode();
    return application.exec();
}
