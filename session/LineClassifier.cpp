#include "session/LineClassifier.h"

#include "session/ByteScan.h"
#include "session/Protocol.h"
#include "text/AsciiText.h"

namespace session {
namespace {

using text::asciiLower;
using text::asciiUpper;
using text::copyText;

// 1-based position of the first `c`, 0 when absent.
[[gnu::always_inline]] inline long positionOf(std::string_view line, char c) {
    const std::size_t at = findByte(line.data(), line.size(), c);
    return at == line.size() ? 0 : static_cast<long>(at) + 1;
}

[[gnu::always_inline]] inline bool hasAt(std::string_view line, std::size_t at,
                                         std::string_view word) {
    if (line.size() < at + word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (line[at + i] != word[i]) return false;
    return true;
}

} // namespace

void ClassifiedLine::setName(std::string_view raw, std::string_view line) {
    nameLength_ = raw.size();
    if (raw.empty()) return;
    char* out = shortName_;
    if (raw.size() > sizeof shortName_) {
        longName_.assign(raw);
        out = longName_.data();
    }
#if defined(__SSE2__)
    // Sixteen letters per step while the line itself has the bytes to read; a name is
    // followed by at least its ">" and the message, so this is the usual case.
    const char* lineEnd = line.data() + line.size();
    if (raw.size() <= sizeof shortName_ && raw.data() + sizeof shortName_ <= lineEnd) {
        const __m128i shift = _mm_set1_epi8(static_cast<char>(128 - 'A'));
        const __m128i limit = _mm_set1_epi8(static_cast<char>(-128 + 26));
        const __m128i caseBit = _mm_set1_epi8(32);
        for (std::size_t i = 0; i < raw.size(); i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw.data() + i));
            const __m128i upper = _mm_cmplt_epi8(_mm_add_epi8(v, shift), limit);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                             _mm_add_epi8(v, _mm_and_si128(upper, caseBit)));
        }
        out[0] = asciiUpper(raw[0]);
        return;
    }
#else
    (void)line;
#endif
    out[0] = asciiUpper(raw[0]);
    for (std::size_t i = 1; i < raw.size(); ++i)
        out[i] = asciiLower(raw[i]);
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

    if (hasAt(line, 1, kInvitationMarker)) {
        out.kind = LineKind::Invitation;
        const long p1 = positionOf(line, '<');
        out.setName(copyText(line, p1 + 4, p2 - 5), line);
        out.textStart_ = rest;
        return;
    }

    // The close marker is cut out; what is shown reads on across the gap.
    if (p2 > 0 && hasAt(line, rest + 1, kCloseMarker)) {
        out.close = true;
        out.joined_ = true;
        out.joinedText_.assign(line.substr(0, rest + 1));
        out.joinedText_.append(line.substr(rest + 4));
    }
    const std::string_view shortened = out.joined_ ? std::string_view(out.joinedText_) : line;

    if (!hasAt(shortened, 0, kStatusWord)) {
        out.kind = LineKind::Chat;
        const long p1 = (!line.empty() && line[0] == '<') ? 1 : positionOf(line, '<');
        out.setName(copyText(line, p1 + 1, p2 - 2), line);
        if (out.joined_)
            out.joinedText_.erase(0, rest);
        else
            out.textStart_ = rest;
        return;
    }

    out.nameLength_ = 0;
    out.textStart_ = 0;
    out.kind = hasAt(shortened, 8, kAcceptanceWord) ? LineKind::Acceptance : LineKind::Status;
}

ClassifiedLine classifyLine(std::string_view line) {
    ClassifiedLine result;
    classifyLine(line, result);
    return result;
}

} // namespace session
