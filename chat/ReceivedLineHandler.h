#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace net {
class TCustomEventSocket;
}
namespace session {
class ChatView;
}

namespace chat {

// Receives an invitation's caller name and text (Windows-1252 bytes); the main form keeps
// them and runs its incoming-invitation routine.
using InvitationReceived =
    std::function<void(const std::string& callerName, const std::string& invitationText)>;

// The one place where a line received on the session socket takes effect: an invitation
// goes to the main form; every other line is shown in the chat window, the acceptance
// opens the chat, and a line that carries the close marker ends the session once shown.
// Without a chat window (`window` null) only an invitation has an effect.
void ReceivedLineHandler(std::string_view line, session::ChatView* window,
                         net::TCustomEventSocket& cliSocket,
                         const InvitationReceived& invitationReceived);

} // namespace chat
