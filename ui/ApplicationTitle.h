#pragma once

#include <QString>

// The application's title: "Falavox©", and "Convite ao Chat..." while an invitation is
// put to the user. It captions the default error box. It is kept here rather than as the
// toolkit's display name, which the X11 platform appends to every window's caption and
// would spoil the captions the windows set themselves.
namespace ui {

// The program's name as every window, the tray's tooltip and the About box show it.
inline QString programTitle() {
    return QStringLiteral("Falavox©");
}

inline QString& applicationTitleStorage() {
    static QString title = programTitle();
    return title;
}

inline QString applicationTitle() {
    return applicationTitleStorage();
}
inline void setApplicationTitle(const QString& title) {
    applicationTitleStorage() = title;
}

} // namespace ui
