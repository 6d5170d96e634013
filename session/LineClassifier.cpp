#include "session/LineClassifier.h"

#include "session/Protocol.h"
#include "text/AsciiText.h"

namespace session {
namespace {

using text::copyText;

// 1-based position of the first `c`, 0 when absent.
long positionOf(std::string_view line, char c) {
    const std::size_t at = line.find(c);
    return at == std::string_view::npos ? 0 : static_cast<long>(at) + 1;
}

bool hasAt(std::string_view line, std::size_t at, std::string_view word) {
    return at <= line.size() && line.substr(at).starts_with(word);
}

} // namespace

void ClassifiedLine::setName(std::string_view raw) {
    nameLength_ = raw.size();
    if (raw.empty()) return;
    char* out = shortName_;
    if (raw.size() > sizeof shortName_) {
        longName_.resize(raw.size());
        out = longName_.data();
    }
    text::capitalizeNameTo(raw, out);
}

// The rest of a line is taken as everything behind the first ">" (the whole line when
// there is none), so that a line of odd shape, with no ">" or with "<" somewhere else,
// never loses characters of its message.
void classifyLine(std::string_view line, ClassifiedLine& out) {
    out.line_ = line;
    out.joined_ = false;
    out.close = false;
    const long p2 = positionOf(line, '>');
    const auto rest = static_cast<std::size_t>(p2);

    if (hasAt(line, 1, invitationMarker)) {
        out.kind = LineKind::Invitation;
        const long p1 = positionOf(line, '<');
        out.setName(copyText(line, p1 + 4, p2 - 5));
        out.textStart_ = rest;
        return;
    }

    // The close marker is cut out; what is shown reads on across the gap.
    if (p2 > 0 && hasAt(line, rest + 1, closeMarker)) {
        out.close = true;
        out.joined_ = true;
        out.joinedText_.assign(line.substr(0, rest + 1));
        out.joinedText_.append(line.substr(rest + 4));
    }
    const std::string_view shortened = out.joined_ ? std::string_view(out.joinedText_) : line;

    if (!hasAt(shortened, 0, statusWord)) {
        out.kind = LineKind::Chat;
        const long p1 = (!line.empty() && line[0] == '<') ? 1 : positionOf(line, '<');
        out.setName(copyText(line, p1 + 1, p2 - 2));
        if (out.joined_)
            out.joinedText_.erase(0, rest);
        else
            out.textStart_ = rest;
        return;
    }

    out.nameLength_ = 0;
    out.textStart_ = 0;
    out.kind = hasAt(shortened, statusPrefix.size(), acceptanceWord) ? LineKind::Acceptance
                                                                     : LineKind::Status;
}

ClassifiedLine classifyLine(std::string_view line) {
    ClassifiedLine result;
    classifyLine(line, result);
    return result;
}

} // namespace session
