#include "session/ShowReceivedLine.h"

#include "session/ChatView.h"
#include "session/LineClassifier.h"

#include <string>

namespace session {

void showReceivedLine(ChatView& window, const ClassifiedLine& line) {
    switch (line.kind) {
    case LineKind::Chat:
        window.appendReceivedChatLine(std::string(line.name()), std::string(line.text()));
        break;
    case LineKind::Acceptance:
        window.connectedLook();
        window.addUser(window.peerName());
        window.appendConnectedNotice();
        break;
    default:
        window.appendReceivedStatusLine(std::string(line.text()));
        break;
    }
    window.finishEntry();
}

} // namespace session
