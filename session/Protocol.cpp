#include "session/Protocol.h"

namespace session {
namespace {

std::string join(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (auto part : parts)
        size += part.size();
    std::string line;
    line.reserve(size + lineEnd.size());
    for (auto part : parts)
        line.append(part);
    line.append(lineEnd);
    return line;
}

} // namespace

std::string invitationLine(std::string_view user, std::string_view invitationText) {
    return join({"<", invitationMarker, user, ">", invitationText});
}

std::string acceptanceLine() {
    return join({statusPrefix, acceptanceWord});
}

std::string refusalLine() {
    return join(
        {statusPrefix, closeMarker, "Seu convite ao chat foi recusado! Tente mais tarde..."});
}

std::string autoAnswerLine(std::string_view user, std::string_view answerText) {
    return join({"<", user, autoAnswerSuffix, "> ", closeMarker, answerText});
}

std::string busyLine() {
    return join({"Status> Ocupado! Tente mais tarde..."});
}

std::string chatLine(std::string_view user, std::string_view text) {
    return join({"<", user, ">", text});
}

} // namespace session
