#pragma once

#include <QIcon>
#include <QPointer>
#include <QWidget>

class QLabel;
class QMenu;
class QVBoxLayout;

namespace app {

// What a user gets instead of the tray icon on a desktop without a notification area:
// a small window with the icon and its hint on top and one button per tray command
// below, in the menu's order and with its separators. A right click anywhere opens the
// tray menu itself. Pressing a button counts as opening the menu (the menu's
// aboutToShow runs first, so a submenu built on opening is current), then runs the
// command or opens its submenu. Closing the window is reported, not obeyed: the
// program decides what closing means.
class TrayStandInWindow : public QWidget {
    Q_OBJECT
public:
    TrayStandInWindow();
    ~TrayStandInWindow() override;

    void setIcon(const QIcon& icon);
    void setHint(const QString& hint);
    void setMenu(QMenu* menu);

signals:
    void closeRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rebuildButtons();
    void pressed(QAction* item, QWidget* button);

    QLabel* iconLabel_;
    QLabel* hintLabel_;
    QWidget* commands_;
    QVBoxLayout* commandsLayout_;
    QPointer<QMenu> menu_;
};

} // namespace app
