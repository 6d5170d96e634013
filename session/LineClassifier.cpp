#include "session/LineClassifier.h"

#include "session/AsciiText.h"
#include "session/Protocol.h"

namespace session {
namespace {

// 1-based position of the first `c`, 0 when absent.
long positionOf(std::string_view line, char c) {
    const auto at = line.find(c);
    return at == std::string_view::npos ? 0 : static_cast<long>(at) + 1;
}

// Everything behind the 1-based position `p2`; the whole line when p2 is 0. Taking the
// rest this way, rather than by a length computed from the name, means that a line with
// an odd shape (no ">", or "<" somewhere else) never loses characters of its message.
std::string_view restAfter(std::string_view line, long p2) {
    return line.substr(static_cast<std::size_t>(p2));
}

} // namespace

void classifyLine(std::string_view line, ClassifiedLine& out) {
    const long p1 = positionOf(line, '<');
    const long p2 = positionOf(line, '>');
    out.close = false;

    if (copyText(line, 2, 3) == kInvitationMarker) {
        out.kind = LineKind::Invitation;
        capitalizeNameInto(copyText(line, p1 + 4, p2 - 5), out.name);
        out.text.assign(restAfter(line, p2));
        return;
    }

    // The close marker is cut out of the line; what is shown reads on across the gap.
    std::string_view head = line;
    std::string_view tail;
    if (p2 > 0 && copyText(line, p2 + 2, 3) == kCloseMarker) {
        out.close = true;
        head = line.substr(0, static_cast<std::size_t>(p2) + 1);
        tail = line.substr(static_cast<std::size_t>(p2) + 4);
    }

    const auto shortenedStartsWith = [&](std::size_t at, std::string_view word) {
        // Compares inside head+tail without joining them.
        for (std::size_t i = 0; i < word.size(); ++i) {
            const std::size_t k = at + i;
            char c;
            if (k < head.size())
                c = head[k];
            else if (k - head.size() < tail.size())
                c = tail[k - head.size()];
            else
                return false;
            if (c != word[i]) return false;
        }
        return true;
    };

    if (!shortenedStartsWith(0, kStatusWord)) {
        out.kind = LineKind::Chat;
        capitalizeNameInto(copyText(line, p1 + 1, p2 - 2), out.name);
        out.text.assign(restAfter(head, p2));
        out.text.append(tail);
        return;
    }

    out.name.clear();
    if (shortenedStartsWith(8, kAcceptanceWord)) {
        out.kind = LineKind::Acceptance;
        out.text.clear();
        return;
    }
    out.kind = LineKind::Status;
    out.text.assign(head);
    out.text.append(tail);
}

ClassifiedLine classifyLine(std::string_view line) {
    ClassifiedLine result;
    classifyLine(line, result);
    return result;
}

} // namespace session
