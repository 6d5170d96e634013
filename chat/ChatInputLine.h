#pragma once

#include <QFocusEvent>
#include <QLineEdit>

namespace chat {

// The one-line input of the chat window: flat, and it does not select its text when it
// gets the focus, so that typing on after a received line never replaces what was typed.
class ChatInputLine : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent* event) override {
        QFocusEvent plain(event->type(), Qt::OtherFocusReason);
        QLineEdit::focusInEvent(&plain);
    }
};

} // namespace chat
