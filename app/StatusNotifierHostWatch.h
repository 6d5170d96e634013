#pragma once

#include <QObject>

class QDBusServiceWatcher;

namespace app {

// Whether a StatusNotifierItem host (a tray that draws icons it is told about over the
// session bus: waybar's tray, KDE's, xfce4-panel's) is there, and word whenever that may
// have changed: the watcher's name came or went, or a host registered or left. A bus
// that is not connected has no host and never changes.
class StatusNotifierHostWatch : public QObject {
    Q_OBJECT
public:
    explicit StatusNotifierHostWatch(QObject* parent = nullptr);

    // Asks the watcher now.
    static bool hostPresent();

signals:
    void changed();

private slots:
    void hostEvent();

private:
    QDBusServiceWatcher* names_ = nullptr;
};

} // namespace app
