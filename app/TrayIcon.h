#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace app {

class StatusNotifierHostWatch;
class TrayStandInWindow;

// The program's one visible presence: an icon in the notification area with a tooltip
// and a pop-up menu. On a desktop without a notification area a small window stands in
// for it, holding the same commands. Which of the two is used is decided each time the
// icon is activated and whenever a tray that draws icons over the session bus comes or
// goes, so a tray that starts after the program (a panel slow at login) is picked up,
// and one that goes for good gives way to the window again.
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

    // Deactivates for the time a dialog is up. The icon leaves the notification area;
    // a stand-in window stays where it is, only disabled: a window that is hidden and
    // shown again is placed anew by the desktop (on Wayland always), and would jump
    // about with every invitation.
    void deactivateKeepingPlace();

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

    // How long a tray that left may take to come back (a panel restarting) before the
    // stand-in window takes its place.
    static constexpr int trayGoneGraceMs = 3000;

    // Seams for tests: whether a tray host is there, and the moment hosts change.
    void setHostProbe(std::function<bool()> probe);
    void setTrayGoneGraceMs(int milliseconds) { trayGone_.setInterval(milliseconds); }
    void hostsChanged();

signals:
    // The user closed the stand-in window: for the program, that is "end".
    void closeRequested();

private:
    bool wantsSystemTray() const;
    bool hostPresent() const;
    void showChosen();
    void trayGoneForGood();
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
    StatusNotifierHostWatch* hosts_ = nullptr; // made on the first automatic activation
    std::function<bool()> hostProbe_;
    QTimer trayGone_;
};

} // namespace app
