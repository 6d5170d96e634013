#pragma once

#include <string>
#include <string_view>

namespace session {

enum class LineKind {
    Invitation, // name = caller (capitalised), text = the rest after the first ">"
    Chat,       // name = sender (capitalised), text = the message
    Acceptance, // the peer accepted the invitation; nothing to show
    Status,     // text = the line to show, without a close marker
};

struct ClassifiedLine {
    LineKind kind = LineKind::Status;
    std::string name;
    std::string text;
    // The sender asked to hang up after this line is shown. Never set for invitations.
    bool close = false;
};

// Classifies one received line (without its LF; a trailing CR, when present, stays in the
// texts). The second form reuses the strings of `out`, so a caller that classifies many
// lines does not allocate for each.
ClassifiedLine classifyLine(std::string_view line);
void classifyLine(std::string_view line, ClassifiedLine& out);

} // namespace session
