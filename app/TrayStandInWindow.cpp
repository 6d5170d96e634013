#include "app/TrayStandInWindow.h"

#include "ui/ApplicationTitle.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {
namespace {

// What a title bar keeps free beside a centred title, on each side, for a close box and
// its margins.
constexpr int titleButtonRoom = 40;

} // namespace

TrayStandInWindow::TrayStandInWindow()
    : iconLabel_(new QLabel), hintLabel_(new QLabel), commands_(new QWidget),
      commandsLayout_(new QVBoxLayout(commands_)) {
    setObjectName(QStringLiteral("TrayStandInWindow"));
    setWindowTitle(ui::applicationTitle());
    // A small window of fixed size: it can be put out of the way, never maximised. The
    // toolkit passes the buttons on to the window manager only when asked to customise
    // them.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    iconLabel_->setFixedSize(16, 16);
    hintLabel_->setObjectName(QStringLiteral("hintLabel"));
    auto* header = new QHBoxLayout;
    header->addWidget(iconLabel_);
    header->addWidget(hintLabel_, 1);

    commandsLayout_->setContentsMargins(0, 0, 0, 0);
    commandsLayout_->setSpacing(2);

    // Wide enough for the whole title in a title bar the desktop draws: in a bold, larger
    // font than the window's, centred between the buttons' room on both sides. A window
    // sized only for its buttons gets its title cut to a few letters.
    QFont titleFont = font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    commands_->setMinimumWidth(QFontMetrics(titleFont).horizontalAdvance(windowTitle()) +
                               2 * titleButtonRoom);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(header);
    layout->addWidget(commands_);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

TrayStandInWindow::~TrayStandInWindow() {
    if (menu_) menu_->removeEventFilter(this);
}

void TrayStandInWindow::setIcon(const QIcon& icon) {
    iconLabel_->setPixmap(icon.pixmap(16, 16));
    setWindowIcon(icon);
}

void TrayStandInWindow::setHint(const QString& hint) {
    hintLabel_->setText(hint);
    setToolTip(hint);
}

void TrayStandInWindow::setMenu(QMenu* menu) {
    if (menu == menu_) return;
    if (menu_) menu_->removeEventFilter(this);
    menu_ = menu;
    if (menu_) menu_->installEventFilter(this);
    rebuildButtons();
}

// Items added to or taken from the menu change the window's buttons.
bool TrayStandInWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == menu_ &&
        (event->type() == QEvent::ActionAdded || event->type() == QEvent::ActionRemoved))
        QMetaObject::invokeMethod(this, &TrayStandInWindow::rebuildButtons, Qt::QueuedConnection);
    return QWidget::eventFilter(watched, event);
}

void TrayStandInWindow::rebuildButtons() {
    while (QLayoutItem* old = commandsLayout_->takeAt(0)) {
        delete old->widget();
        delete old;
    }
    // Without a menu (while the program is busy) the window shows only its hint.
    commands_->setVisible(menu_ != nullptr);
    if (!menu_) return;
    for (QAction* item : menu_->actions()) {
        if (item->isSeparator()) {
            auto* line = new QFrame;
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            commandsLayout_->addWidget(line);
            continue;
        }
        auto* button = new QPushButton(item->text());
        button->setObjectName(item->objectName());
        button->setFlat(true);
        button->setStyleSheet(QStringLiteral("text-align: left; padding: 3px 12px;"));
        button->setEnabled(item->isEnabled());
        commandsLayout_->addWidget(button);
        button->setVisible(item->isVisible());
        connect(item, &QAction::changed, button, [item, button] {
            button->setText(item->text());
            button->setEnabled(item->isEnabled());
            button->setVisible(item->isVisible());
        });
        connect(button, &QPushButton::clicked, this,
                [this, item = QPointer<QAction>(item), button] {
                    if (item) pressed(item, button);
                });
    }
}

void TrayStandInWindow::pressed(QAction* item, QWidget* button) {
    QPointer<QAction> guard(item);
    if (menu_) emit menu_->aboutToShow();
    if (!guard) return;
    if (QMenu* submenu = guard->menu()) {
        submenu->popup(button->mapToGlobal(QPoint(button->width(), 0)));
        return;
    }
    guard->trigger();
}

void TrayStandInWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    emit closeRequested();
}

void TrayStandInWindow::contextMenuEvent(QContextMenuEvent* event) {
    if (menu_) menu_->popup(event->globalPos());
}

} // namespace app
