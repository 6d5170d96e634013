// An application with an event loop and nothing else: whatever wake-ups it has belong to
// the toolkit and the display connection, not to a program.
#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return app.exec();
}
