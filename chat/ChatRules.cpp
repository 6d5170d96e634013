#include "chat/ChatRules.h"

#include "platform/system/Cp1252.h"
#include "text/AsciiText.h"

namespace chat {

QString userListEntry(std::string_view name) {
    return platform::fromCp1252(text::asciiUpperCase(name));
}

int peerEntryIndex(const QStringList& entries, std::string_view localUser) {
    const QString local = userListEntry(localUser);
    for (int i = 0; i < entries.size(); ++i)
        if (entries[i] != local) return i;
    return -1;
}

} // namespace chat
