#pragma once

#include <functional>
#include <string>

// The invitation sent as a text notice to a computer that refused the chat connection,
// and what the chat window is told about it.
namespace notice {

// The text both notices carry after their own headers: "Convite ao chat: " and the
// invitation text.
std::string invitationNoticeText(const std::string& invitationText);

// The WinPopUp message's text: sender, a zero byte, recipient, a zero byte, the notice
// text (the messenger adds CR LF).
std::string winPopUpNoticeText(const std::string& userName, const std::string& peerName,
                               const std::string& invitationText);

struct NoticeRoutes {
    // Reports through `delivered` whether the service took the message, once that is
    // known: possibly after the call has returned, always on the user-interface thread.
    std::function<void(const std::string& recipient, const std::string& text,
                       std::function<void(bool)> delivered)>
        netMessage;
    // Fails only by throwing.
    std::function<void(const std::string& userName, const std::string& peerName,
                       const std::string& invitationText)>
        winPopUp;
};

// Sends the notice the way the computer's family calls for and reports the outcome through
// addLine (Windows-1252 status lines): the announcement at once, the outcome when it is
// known. `finished` runs once after the last line, also when an error cut the notice
// short. Nothing escapes: an error of either route is at most a line saying that the
// invitation could not be sent.
void sendInvitationNotice(bool ntFamily, const std::string& userName, const std::string& peerName,
                          const std::string& invitationText, const NoticeRoutes& routes,
                          std::function<void(const std::string&)> addLine,
                          std::function<void()> finished);

} // namespace notice
