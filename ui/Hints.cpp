#include "ui/Hints.h"

#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace ui {

namespace {

// A hint's window: the rectangle with its border and text, and the shadow below and to
// the right of it. The window's shape leaves out the two corners the shadow does not
// reach, so that no compositor is needed for them to show what lies beneath.
class HintWindow : public QWidget {
public:
    HintWindow()
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
        setObjectName(QStringLiteral("programHint"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hideTimer_.setSingleShot(true);
        QObject::connect(&hideTimer_, &QTimer::timeout, this, &QWidget::hide);
    }

    void showText(const QPoint& at, const QString& text) {
        text_ = text;
        setFont(QApplication::font("QTipLabel"));
        const QRect textRect = fontMetrics().boundingRect(QRect(0, 0, 400, 10000),
                                                          Qt::AlignCenter | Qt::TextWordWrap, text);
        const QSize body(textRect.width() + 2 * padX + 2, textRect.height() + 2 * padY + 2);
        resize(body.width() + hintShadow, body.height() + hintShadow);
        const QRect bodyRect(QPoint(0, 0), body);
        setMask(QRegion(bodyRect) | QRegion(bodyRect.translated(hintShadow, hintShadow)));
        move(placed(at));
        update();
        show();
        raise();
        hideTimer_.start(hintShownMs);
    }

    const QString& text() const { return text_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect body(0, 0, width() - hintShadow, height() - hintShadow);
        const QPalette& colours = QToolTipPalette();
        painter.fillRect(body.translated(hintShadow, hintShadow), colours.color(QPalette::Shadow));
        painter.fillRect(body, colours.color(QPalette::ToolTipBase));
        painter.setPen(colours.color(QPalette::ToolTipText));
        painter.drawRect(body.adjusted(0, 0, -1, -1));
        painter.drawText(body.adjusted(padX, padY, -padX, -padY),
                         Qt::AlignCenter | Qt::TextWordWrap, text_);
    }

private:
    static constexpr int padX = 4;
    static constexpr int padY = 2;

    static QPalette QToolTipPalette() { return QApplication::palette("QTipLabel"); }

    // Below and to the right of the pointer, kept on its screen.
    QPoint placed(const QPoint& at) const {
        QPoint place = at + QPoint(2, 20);
        if (const QScreen* screen = QGuiApplication::screenAt(at)) {
            const QRect area = screen->availableGeometry();
            if (place.x() + width() > area.right()) place.rx() = area.right() - width();
            if (place.y() + height() > area.bottom()) place.ry() = at.y() - height() - 2;
            place.rx() = std::max(place.x(), area.left());
            place.ry() = std::max(place.y(), area.top());
        }
        return place;
    }

    QString text_;
    QTimer hideTimer_;
};

// Takes every hint request of the application and shows it in the program's own hint
// window instead of the toolkit's, and takes the hint down when the pointer leaves its
// widget, a button or key is pressed, or its time is up.
class HintFilter : public QObject {
public:
    ~HintFilter() override { delete window_.data(); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::ToolTip:
            return hintAsked(watched, static_cast<QHelpEvent*>(event));
        case QEvent::Leave:
        case QEvent::Hide:
            if (watched == owner_) hide();
            break;
        case QEvent::MouseButtonPress:
        case QEvent::KeyPress:
        case QEvent::Wheel:
            hide();
            break;
        default:
            break;
        }
        return false;
    }

private:
    bool hintAsked(QObject* watched, QHelpEvent* help) {
        QString text;
        QWidget* widget = qobject_cast<QWidget*>(watched);
        if (widget) {
            text = widget->toolTip();
            // The tray icon's own window may leave its hint to the icon: the icon's
            // request that follows belongs to this window.
            lastAsking_ = widget;
        } else if (auto* tray = qobject_cast<QSystemTrayIcon*>(watched)) {
            text = tray->toolTip();
            widget = lastAsking_;
        } else {
            return false;
        }
        if (text.isEmpty()) {
            if (owner_ == widget) hide();
            return false;
        }
        if (!window_) window_ = new HintWindow;
        owner_ = widget;
        if (!window_->isVisible() || window_->text() != text)
            window_->showText(help->globalPos(), text);
        return true;
    }

    void hide() {
        if (window_) window_->hide();
        owner_ = nullptr;
    }

    QPointer<HintWindow> window_;
    QPointer<QWidget> owner_;
    QPointer<QWidget> lastAsking_;
};

} // namespace

void useProgramHints() {
    static QPointer<HintFilter> filter;
    if (filter) return;
    filter = new HintFilter;
    filter->setParent(qApp);
    qApp->installEventFilter(filter);
}

} // namespace ui
