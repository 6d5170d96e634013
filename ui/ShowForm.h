#pragma once

#include "ui/WindowActivation.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <stdexcept>
#include <type_traits>

// The one way every window of the program is opened, so that there is never a second
// window of the same kind.
namespace ui {

enum class ShowMode { Modeless = 0, Modal = 1 };

// The error of opening modally a window that is already visible.
class ModalWindowError : public std::runtime_error {
public:
    ModalWindowError() : std::runtime_error("Não é possível fazer uma janela modal visível") {}
};

namespace detail {

// Hourglass while a window is being found, made and shown; always put back.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { release(); }
    void release() {
        if (active_) {
            active_ = false;
            QApplication::restoreOverrideCursor();
        }
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    bool active_ = true;
};

template <class TForm> void showIn(TForm* form, ShowMode mode, BusyCursor& cursor) {
    if (mode == ShowMode::Modal) {
        if constexpr (std::is_base_of_v<QDialog, TForm>) {
            if (form->isVisible()) throw ModalWindowError();
            // The hourglass belongs to the opening, not to the time the user looks at it.
            cursor.release();
            form->exec();
            return;
        }
    }
    form->show();
    bringForward(form);
}

} // namespace detail

// Finds the open window of class TForm, or makes one with `create`, and keeps it in
// `form`. A minimised window is only restored; any other is shown, modally when asked.
// Windows of the program delete themselves when closed, which empties `form`. Every
// window is made through its variable, so the variable is where an open one is found
// (two main forms in one process, as in tests, each keep their own windows).
template <class TForm, class Create>
TForm* showForm(QPointer<TForm>& form, ShowMode mode, Create create) {
    detail::BusyCursor cursor;
    TForm* existing = form.data();
    if (!existing) {
        form = create();
        detail::showIn(form.data(), mode, cursor);
        return form.data();
    }
    form = existing;
    if (existing->isMinimized()) {
        existing->showNormal();
        return existing;
    }
    detail::showIn(existing, mode, cursor);
    return existing;
}

} // namespace ui
