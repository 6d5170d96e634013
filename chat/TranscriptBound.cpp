#include "chat/TranscriptBound.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace chat {

void trimTranscript(QTextDocument& transcript, int entries, int characters) {
    // Every entry ends with its own line break, so the document's last block is the empty
    // one behind the newest entry and does not count as an entry.
    const int held = transcript.blockCount() - 1;
    if (held <= entries && transcript.characterCount() <= characters) return;
    int toRemove = std::max(0, held - entries);
    QTextBlock firstKept = transcript.firstBlock();
    for (int i = 0; i < toRemove; ++i)
        firstKept = firstKept.next();
    // The newest entry is never removed, however long it is.
    const QTextBlock newest = transcript.lastBlock().previous();
    while (firstKept.isValid() && firstKept != newest &&
           transcript.characterCount() - firstKept.position() > characters)
        firstKept = firstKept.next();
    if (!firstKept.isValid() || firstKept.position() == 0) return;
    // Inside an edit block the cursor does not ask the layout where its new position is,
    // which would lay out the whole first kept entry for nothing.
    QTextCursor cursor(&transcript);
    cursor.beginEditBlock();
    cursor.setPosition(firstKept.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.endEditBlock();
}

} // namespace chat
