#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace app {

class TrayStandInWindow;

// The program's one visible presence: an icon in the notification area with a tooltip
// and a pop-up menu. On a desktop without a notification area a small window stands in
// for it, holding the same commands. Which of the two is used is decided each time
// the icon is activated, so a tray that appears later is picked up.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    enum class Backend { Automatic, SystemTray, Window };

    explicit TrayIcon(Backend backend = Backend::Automatic, QObject* parent = nullptr);
    ~TrayIcon() override;

    // Puts the icon in the notification area (or shows the stand-in window) with the
    // current icon, hint and menu; deactivating removes it at once.
    void activate();
    void deactivate();
    bool isActive() const { return active_; }

    // The tooltip; the notification area shows at most 63 characters of it.
    void setHint(const QString& hint);
    QString hint() const { return hint_; }

    // The pop-up menu; none means a right click opens nothing.
    void setMenu(QMenu* menu);
    QMenu* menu() const { return menu_; }

    // The static icon, shown whenever the icon is not animated.
    void setIcon(const QIcon& icon);
    QIcon icon() const { return icon_; }

    // Shows `frames` in turn, one every `intervalMs`, starting again after the last,
    // until stopped; the static icon then returns. The frames advance on this thread's
    // timer, so they keep moving while the thread serves its events.
    void startAnimation(const QList<QIcon>& frames, int intervalMs);
    void stopAnimation();
    bool isAnimating() const { return animation_.isActive(); }
    // True when the tray host draws the exported menu itself, reading "_" as a mnemonic mark.
    bool hostDrawsMenu() const { return hostDrawsMenu_; }
    // The frame showing, from 0; -1 while not animated.
    int animationFrame() const { return isAnimating() ? frame_ : -1; }

    // What is showing while active: the system tray icon, or else the stand-in window.
    QSystemTrayIcon* systemTrayIcon() const { return trayIcon_.get(); }
    TrayStandInWindow* standInWindow() const { return window_.get(); }
    bool usesStandInWindow() const;

    static constexpr int maxHintLength = 63;

signals:
    // The user closed the stand-in window: for the program, that is "end".
    void closeRequested();

private:
    bool wantsSystemTray() const;
    void applyToShown();
    void applyIcon();
    QIcon shownIcon() const;
    void nextFrame();

    Backend backend_;
    bool active_ = false;
    QString hint_;
    QIcon icon_;
    QList<QIcon> frames_;
    int frame_ = 0;
    QTimer animation_;
    QPointer<QMenu> menu_;
    // A tray host that draws the menu itself (a StatusNotifierItem host) keeps the last
    // menu it was given, and handing it another one in the middle of a run is not always
    // passed on. So there the menu stays exported and "no menu" is that menu with every
    // item hidden; an XEmbed tray opens our own menu, and there no menu means none.
    void hideExportedItems();
    void showExportedItems();
    bool hostDrawsMenu_ = false;
    QPointer<QMenu> exported_;
    QList<QPointer<QAction>> hiddenItems_;
    std::unique_ptr<QSystemTrayIcon> trayIcon_;
    std::unique_ptr<TrayStandInWindow> window_;
};

} // namespace app
