#include "chat/ReceivedLineHandler.h"

#include "net/EventSocket.h"
#include "session/ChatView.h"
#include "session/LineClassifier.h"

namespace chat {

void ReceivedLineHandler(std::string_view line, session::ChatView* window,
                         net::TCustomEventSocket& cliSocket,
                         const InvitationReceived& invitationReceived) {
    if (window) {
        try {
            window->hideSelection();
        } catch (...) {
            // Only the look of the transcript is at stake; the line is still handled.
        }
    }
    const session::ClassifiedLine classified = session::classifyLine(line);
    if (classified.kind == session::LineKind::Invitation) {
        invitationReceived(std::string(classified.name()), std::string(classified.text()));
        return;
    }
    if (!window) return;
    switch (classified.kind) {
    case session::LineKind::Chat:
        window->appendReceivedChatLine(std::string(classified.name()),
                                       std::string(classified.text()));
        break;
    case session::LineKind::Acceptance:
        window->connectedLook();
        window->addUser(window->peerName());
        window->appendConnectedNotice();
        break;
    default:
        window->appendReceivedStatusLine(std::string(classified.text()));
        break;
    }
    window->finishEntry();
    if (classified.close) cliSocket.Close();
}

} // namespace chat
