#pragma once

#include "ui/ApplicationTitle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <functional>
#include <utility>

// The program's message boxes. Tests set a hook that receives each box instead of
// showing it, so that nothing ever waits for a click.
namespace ui {

enum class BoxKind { Information, Error };

struct ShownBox {
    BoxKind kind;
    QString caption;
    QString text;
};

using BoxHook = std::function<void(const ShownBox&)>;

inline BoxHook& messageBoxHook() {
    static BoxHook hook;
    return hook;
}

// A box with one "OK" button; returns when it has been answered. The text shows as
// plain text, and its CR LF pairs as line breaks.
inline void showMessageBox(BoxKind kind, const QString& caption, const QString& text) {
    if (messageBoxHook()) {
        messageBoxHook()(ShownBox{kind, caption, text});
        return;
    }
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(kind == BoxKind::Error ? QMessageBox::Critical : QMessageBox::Information,
                    caption, shown, QMessageBox::Ok);
    // Texts carry names and lines from the network: never rendered as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

inline void showInformation(const QString& text) {
    showMessageBox(BoxKind::Information, QStringLiteral("Informação"), text);
}

inline void showError(const QString& text) {
    showMessageBox(BoxKind::Error, QStringLiteral("Erro"), text);
}

// The application's default handler for an error that escaped a menu command or a
// form event: the message in a box captioned with the application's title, and the
// program goes on.
inline void showApplicationError(const QString& message) {
    showMessageBox(BoxKind::Error, applicationTitle(), message);
}

// Runs a command or form event; an error that escapes it goes to the default handler.
template <class F> void runGuarded(F&& f) {
    try {
        std::forward<F>(f)();
    } catch (const std::exception& e) {
        showApplicationError(QString::fromUtf8(e.what()));
    }
}

} // namespace ui
