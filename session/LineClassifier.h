#pragma once

#include <concepts>
#include <cstddef>
#include <string>
#include <string_view>

namespace session {

enum class LineKind {
    Invitation, // name = caller, text = the rest after the first ">"
    Chat,       // name = sender, text = the message
    Acceptance, // the peer accepted the invitation; nothing to show
    Status,     // text = the line to show, without a close marker
};

// What a received line means. `text()` looks into the classified line itself (or, when a
// close marker was cut out of it, into a copy kept here), so it is valid only while that
// line lives; take a copy to keep it longer. `name()` is kept here.
class ClassifiedLine {
public:
    LineKind kind = LineKind::Status;
    // The sender asked to hang up after this line is shown. Never set for invitations.
    bool close = false;

    // Capitalised (ASCII letters only); empty for status lines and acceptance.
    std::string_view name() const {
        return nameLength_ <= sizeof shortName_ ? std::string_view(shortName_, nameLength_)
                                                : std::string_view(longName_);
    }
    std::string_view text() const {
        return joined_ ? std::string_view(joinedText_) : line_.substr(textStart_);
    }

private:
    friend void classifyLine(std::string_view line, ClassifiedLine& out);
    void setName(std::string_view raw);

    // Names fit here nearly always, so classifying a line needs no string operation.
    char shortName_[48] = {};
    std::size_t nameLength_ = 0;
    std::string longName_;
    std::string_view line_;
    std::size_t textStart_ = 0;
    bool joined_ = false;
    std::string joinedText_;
};

// Classifies one received line (without its LF; a trailing CR, when present, stays in the
// text). The second form reuses `out`, so classifying many lines does not allocate.
ClassifiedLine classifyLine(std::string_view line);
void classifyLine(std::string_view line, ClassifiedLine& out);
// A temporary string is refused: the result would look into it after it is gone.
template <class S>
requires std::same_as<S, std::string> ClassifiedLine classifyLine(S&& line)
= delete;
template <class S>
requires std::same_as<S, std::string>
void classifyLine(S&& line, ClassifiedLine& out) = delete;

} // namespace session
