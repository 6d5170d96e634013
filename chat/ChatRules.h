#pragma once

#include <QString>
#include <QStringList>
#include <string_view>

// Rules of the chat window that need no widget.
namespace chat {

struct EditMenuState {
    bool copy = false;
    bool selectAll = false;
};

// When the window is shown, "Copiar" follows the selection and "Selecionar Tudo" the text.
inline EditMenuState menuStateOnShow(bool hasText, bool hasSelection) {
    return {hasSelection, hasText};
}
// Any change of the transcript's text enables both exactly when it holds text.
inline EditMenuState menuStateOnTextChange(bool hasText) {
    return {hasText, hasText};
}
// A change of selection decides "Copiar" alone.
inline bool copyEnabledOnSelectionChange(bool hasSelection) {
    return hasSelection;
}

// A name as the user list shows it: upper case, ASCII letters only.
QString userListEntry(std::string_view name);

// The entry to delete when the peer leaves: the first one that is not the local user's;
// -1 when every entry is the local user's.
int peerEntryIndex(const QStringList& entries, std::string_view localUser);

} // namespace chat
