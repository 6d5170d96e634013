#include "app/Application.h"

#include "ui/MessageBox.h"

#include <exception>

namespace app {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ui::showApplicationError(QString::fromUtf8(e.what()));
    } catch (...) {
        ui::showApplicationError(QStringLiteral("Erro desconhecido."));
    }
    return false;
}

} // namespace app
