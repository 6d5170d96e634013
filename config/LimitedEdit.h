#pragma once

#include <QLineEdit>

// A one-line edit whose limit holds back typing and pasting only: a longer text put in
// by the program is shown whole, and the user may shorten it but not lengthen it. The
// text is not selected when the edit gets the focus.
namespace config {

class TLimitedEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TLimitedEdit(int limit, QWidget* parent = nullptr);

    int limit() const { return limit_; }

    // Puts in a text of any length; plain setText would cut it at the limit.
    void setWholeText(const QString& text);

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    void fitLimit(const QString& text);

    int limit_;
};

} // namespace config
