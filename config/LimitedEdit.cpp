#include "config/LimitedEdit.h"

#include <QFocusEvent>
#include <algorithm>

namespace config {

TLimitedEdit::TLimitedEdit(int limit, QWidget* parent) : QLineEdit(parent), limit_(limit) {
    setMaxLength(limit_);
    // The allowance is the limit or the present length, whichever is greater, so a long
    // text can be shortened but never grow.
    connect(this, &QLineEdit::textChanged, this, &TLimitedEdit::fitLimit);
}

void TLimitedEdit::fitLimit(const QString& text) {
    setMaxLength(std::max(limit_, static_cast<int>(text.size())));
}

void TLimitedEdit::setWholeText(const QString& text) {
    fitLimit(text);
    setText(text);
}

void TLimitedEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // QLineEdit selects everything when tabbed into; here the caret goes to the end.
    if (hasSelectedText() && event->reason() != Qt::MouseFocusReason) deselect();
}

} // namespace config
