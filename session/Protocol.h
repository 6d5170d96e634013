#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The chat session's line protocol on TCP port 2200: one text line per message, Windows-1252
// bytes, CR LF at the end, no escaping. Every builder returns the exact bytes to send,
// CR LF included, to be handed to the socket as one piece.
namespace session {

inline constexpr std::uint16_t sessionPortNumber = 2200;
inline constexpr std::string_view sessionPortText = "2200";
inline constexpr std::string_view sessionProto = "tcp";
inline constexpr std::string_view listenAddr = "0.0.0.0";
inline constexpr std::string_view lineEnd = "\r\n";

// "%$#" at positions 2 to 4 marks an invitation; "@!%" two characters after the first ">"
// asks the receiver to show the line and then hang up.
inline constexpr std::string_view invitationMarker = "%$#";
inline constexpr std::string_view closeMarker = "@!%";

// The peer recognises acceptance by exactly these eleven characters, misspelling included.
inline constexpr std::string_view acceptanceWord = "Green Ligth";
inline constexpr std::string_view statusWord = "Status";
// What begins every status line sent; the acceptance word follows it directly.
inline constexpr std::string_view statusPrefix = "Status> ";
inline constexpr std::string_view autoAnswerSuffix = " (auto-resposta)";

std::string invitationLine(std::string_view user, std::string_view invitationText);
std::string acceptanceLine();
std::string refusalLine();
std::string autoAnswerLine(std::string_view user, std::string_view answerText);
std::string busyLine();
std::string chatLine(std::string_view user, std::string_view text);

} // namespace session
