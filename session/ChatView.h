#pragma once

#include <string>

namespace session {

// What the session does to the chat window: its two sides, and the received lines it
// shows (showReceivedLine). Texts are Windows-1252 bytes.
class ChatView {
public:
    virtual ~ChatView() = default;

    virtual void addPlainLine(const std::string& text) = 0;
    virtual void clearTranscript() = 0;
    virtual void clearInput() = 0;
    virtual void connectedLook() = 0;
    virtual void disconnectedLook() = 0;
    virtual void addUser(const std::string& name) = 0;
    virtual void removePeer() = 0;
    virtual void setPeerName(const std::string& capitalisedName) = 0;
    virtual const std::string& peerName() const = 0;
    // Closes the window without closing the session socket, which a new caller now uses.
    virtual void closeForInvitation() = 0;
    // Whether the session socket's connection is the one this window shows. A window
    // whose session has ended leaves the socket alone when it is closed, since a new
    // caller may be using it by then.
    virtual void setHoldsSession(bool holds) = 0;

    virtual void hideSelection() = 0;
    virtual void appendReceivedChatLine(const std::string& sender, const std::string& message) = 0;
    virtual void appendConnectedNotice() = 0;
    virtual void appendReceivedStatusLine(const std::string& text) = 0;
    virtual void finishEntry() = 0;
    // The received lines of this turn of the event loop are shown together: from here to
    // the end of the turn, the received entries and their finishing wait and then reach
    // the transcript in one step, in order, before anything else the window is asked to
    // do. A view that shows each line at once needs nothing here.
    virtual void gatherThisTurn() {}
};

} // namespace session
