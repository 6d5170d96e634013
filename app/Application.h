#pragma once

#include <QApplication>

namespace app {

// The application object. An error that escapes any event handler is shown by the
// default handler (a message box) and the program goes on, instead of ending it.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace app
