#pragma once

#include "net/EventSocket.h"
#include "session/LineAssembler.h"
#include "session/Protocol.h"
#include "settings/Settings.h"

#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace session {

class ChatView;

// Where a notice's status lines go (Windows-1252 bytes).
using NoticeLineSink = std::function<void(const std::string& line)>;

// What the session needs from the main form that owns it.
class SessionHost {
public:
    virtual ~SessionHost() = default;
    // The chat window, or null while none exists.
    virtual ChatView* chatWindow() = 0;
    // Opens the chat window through the show-form routine: made if absent, restored if
    // minimised, else shown.
    virtual ChatView& showChatWindow() = 0;
    // Puts the invitation to the user; true when accepted.
    virtual bool askChat(const std::string& callerName, const std::string& invitationText) = 0;
    // An information box; the text is Windows-1252 bytes.
    virtual void showInformation(const std::string& text) = 0;
    // An invited computer refused the connection and the settings ask for a notice:
    // this is where the invitation goes out as a text notice instead. Its status lines go
    // through addLine, the outcome's once it is known (possibly after this returns);
    // `finished` runs once after the last of them.
    virtual void sendInvitationNotice(const std::string& peerName, NoticeLineSink addLine,
                                      std::function<void()> finished) = 0;
    virtual const config::TSettings& settings() const = 0;
    virtual const std::string& localUserName() const = 0;
};

// The chat session over TCP: the invited side (a caller accepted or turned away, the
// invitation answered, the end of every session) and the inviting side (a computer's
// name looked up, connected to, invited). It is the one owner of every line received on
// the session socket: it classifies the line once, acts on it (an invitation is put to
// the user, an acceptance makes the window hold the session, a close marker ends it) and
// hands the chat window what it shows. The session handles the events of the three
// sockets it is given, which its owner keeps alive longer than the session; everything
// runs on the user-interface thread.
class ChatSession {
public:
    ChatSession(net::TCustomEventSocket& srvSocket, net::TCustomEventSocket& cliSocket,
                net::TCustomEventSocket& tmpSocket, SessionHost& host,
                std::string sessionPort = std::string(sessionPortText));
    ChatSession(const ChatSession&) = delete;
    ChatSession& operator=(const ChatSession&) = delete;
    ~ChatSession();

    // Invited side.
    void SrvSocketSessionAvailable(std::uint16_t error);
    void CliSocketDataAvailable(std::uint16_t error);
    void CliSocketSessionClosed(std::uint16_t error);

    // Inviting side.
    void Invite(const std::string& peerName);
    void CliSocketDnsLookupDone(std::uint16_t error);
    void CliSocketSessionConnected(std::uint16_t error);

    // The chat window is going away: an invitation still looking up its computer's name
    // is given up, so none goes out with no window to show the answer.
    void ChatWindowClosing();

    // The clock the rules for callers read.
    std::function<std::chrono::steady_clock::time_point()> Clock = [] {
        return std::chrono::steady_clock::now();
    };
    // A caller that has not sent its invitation yet gives way to the next caller, and to
    // an invitation of the user's own, once it has held the line this long; at once when
    // its computer has held the line without a word shortly before. So a computer that
    // keeps calling without ever inviting never keeps anyone else out.
    std::chrono::milliseconds CallerGrace{1000};
    // How long a caller may hold the line with nobody else wanting it: to send its
    // invitation, and to hang up once it has been answered. A copy of the program sends
    // its invitation and reads the answer when its own event loop gets to them, which a
    // slow network can delay for many seconds.
    std::chrono::milliseconds CallerBound{60000};
    // How long a computer whose caller left without inviting is remembered for that.
    std::chrono::milliseconds SilenceRemembered{30000};

    // The computer picked for the last invitation, as picked.
    std::string PeerName;

private:
    void addLine(const std::string& text);
    void newTranscript();
    void noticeFinished(std::uint64_t transcript);
    void TakeCaller();
    void StartReceiving();
    void connectSocketEvents();
    void receivedLine(std::string_view bytes);
    void IncomingInvitation();
    void ContinueLinesLater();
    // Where the caller on the session socket stands while it only holds the line.
    enum class CallerStage { None, NotInvited, Answered };
    void CallerStageIs(CallerStage stage);
    bool CallerGivesWay();
    void LetCallerGo();
    void WatchCaller();
    void rememberSilence(std::uint32_t address);
    bool silentBefore(std::uint32_t address);

    net::TCustomEventSocket& SrvSocket;
    net::TCustomEventSocket& CliSocket;
    net::TCustomEventSocket& TmpSocket;
    SessionHost& host_;
    std::string sessionPort_;
    // From the most recent invitation line.
    std::string CallerName;
    std::string CallerText;
    LineAssembler assembler_;
    // The invitation dialog is up (a further invitation line may run a nested answer).
    bool dialogUp_ = false;
    // The connection whose lines the assembler receives, and whether it has carried its
    // one invitation already.
    net::SOCKET lineSource_ = platform::INVALID_SOCKET;
    bool invitationTaken_ = false;
    // A later turn of the event loop will hand on the lines still buffered.
    bool continuing_ = false;
    // The caller that holds the session socket without a session: accepted and not yet
    // invited, or answered and not yet gone. `callerTimer_` watches it meanwhile.
    CallerStage callerStage_ = CallerStage::None;
    std::chrono::steady_clock::time_point callerSince_;
    std::uint32_t callerAddress_ = 0;
    QTimer callerTimer_;
    // Computers whose callers left without an invitation, and when.
    std::unordered_map<std::uint32_t, std::chrono::steady_clock::time_point> silentCallers_;
    // Counts the transcripts the chat window has shown: a notice's late lines belong
    // only to the transcript that asked for it.
    std::uint64_t transcript_ = 0;
    // A notice of this transcript has not reported yet; the end of the connection is
    // then told after the notice's outcome, as the last line.
    bool noticePending_ = false;
    bool closeLineOwed_ = false;
};

} // namespace session
