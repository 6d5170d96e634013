#include "app/Application.h"
#include "app/Frminicial.h"

// The program has no command line: Qt's own options aside, arguments are ignored.
int main(int argc, char** argv) {
    app::TApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("falavox"));
    QApplication::setApplicationDisplayName(QStringLiteral("Falavox©"));
    // The program lives in the tray: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    app::Tfrminicial frminicial;
    QApplication::setWindowIcon(frminicial.Image2);
    frminicial.FormCreate();
    if (frminicial.Terminated()) return frminicial.ExitCode();
    return application.exec();
}
