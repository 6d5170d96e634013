#include "session/ChatSession.h"

#include "platform/system/Cp1252.h"
#include "session/ChatView.h"
#include "session/LineClassifier.h"
#include "session/Protocol.h"
#include "session/ShowReceivedLine.h"
#include "text/AsciiText.h"

#include <QString>

namespace session {

using net::wsClosed;
using net::wsConnected;

namespace {
// How long an invitation waits before it is put to the user.
constexpr std::chrono::milliseconds invitationSettle{100};

// The program's own texts are written here in UTF-8; the window takes Windows-1252 bytes.
std::string ansi(const char* utf8) {
    return platform::toCp1252(QString::fromUtf8(utf8));
}
} // namespace

ChatSession::ChatSession(net::TCustomEventSocket& srvSocket, net::TCustomEventSocket& cliSocket,
                         net::TCustomEventSocket& tmpSocket, SessionHost& host,
                         std::string sessionPort)
    : SrvSocket(srvSocket), CliSocket(cliSocket), TmpSocket(tmpSocket), host_(host),
      sessionPort_(std::move(sessionPort)),
      assembler_([this](std::string_view line) { receivedLine(line); }) {
    callerTimer_.setInterval(250);
    QObject::connect(&callerTimer_, &QTimer::timeout, &callerTimer_, [this] { WatchCaller(); });
    connectSocketEvents();
}

// The sockets outlive the session: none of their events may reach it once it is gone.
ChatSession::~ChatSession() {
    SrvSocket.OnSessionAvailable = nullptr;
    CliSocket.OnDataAvailable = nullptr;
    CliSocket.OnSessionClosed = nullptr;
    CliSocket.OnDnsLookupDone = nullptr;
    CliSocket.OnSessionConnected = nullptr;
}

void ChatSession::connectSocketEvents() {
    SrvSocket.OnSessionAvailable = [this](net::TCustomEventSocket*, std::uint16_t error) {
        SrvSocketSessionAvailable(error);
    };
    CliSocket.OnDataAvailable = [this](net::TCustomEventSocket*, std::uint16_t error) {
        CliSocketDataAvailable(error);
    };
    CliSocket.OnSessionClosed = [this](net::TCustomEventSocket*, std::uint16_t error) {
        CliSocketSessionClosed(error);
    };
    CliSocket.OnDnsLookupDone = [this](net::TCustomEventSocket*, std::uint16_t error) {
        CliSocketDnsLookupDone(error);
    };
    CliSocket.OnSessionConnected = [this](net::TCustomEventSocket*, std::uint16_t error) {
        CliSocketSessionConnected(error);
    };
}

void ChatSession::addLine(const std::string& text) {
    if (ChatView* window = host_.chatWindow()) window->addPlainLine(text);
}

void ChatSession::newTranscript() {
    ++transcript_;
    noticePending_ = false;
    closeLineOwed_ = false;
}

// ----- invited side ---------------------------------------------------------------------

void ChatSession::SrvSocketSessionAvailable(std::uint16_t) {
    // A caller that cannot be taken (no descriptor left, a connection that broke before
    // it was accepted) is dropped; the listener goes on serving the next one.
    try {
        TakeCaller();
    } catch (const std::exception&) {
        if (TmpSocket.State() != wsClosed) {
            try {
                TmpSocket.Abort();
            } catch (...) {
                // The caller could not be taken and its connection not even dropped: the
                // listener still goes on for the next one.
            }
        }
    }
}

void ChatSession::TakeCaller() {
    // Accepted first: a caller that cannot be taken leaves an outgoing attempt as it is.
    const net::SOCKET caller = SrvSocket.Accept();
    const std::uint32_t from = SrvSocket.AcceptedFrom();
    // While the invitation dialog is up its answer belongs to the caller it shows, even
    // once that caller has hung up: a new one would otherwise receive it.
    if (dialogUp_ || (CliSocket.State() == wsConnected && !CallerGivesWay())) {
        // Busy: the second caller is told so on a connection of its own. That connection
        // ends in an orderly way, so the line reaches the caller before the end does.
        TmpSocket.SetLingerOnOff(net::wsLingerOff);
        TmpSocket.Dup(caller);
        TmpSocket.SendText(busyLine());
        TmpSocket.Close();
        return;
    }
    // A caller that only held the line gives way: its connection ends in order, and
    // without a word in the chat window, since it never had a session.
    if (callerStage_ == CallerStage::NotInvited) rememberSilence(callerAddress_);
    // The caller takes the session socket over, also in the middle of an outgoing attempt.
    // A name lookup of that attempt is given up, so that its late answer cannot touch
    // the adopted connection, and the inviting window no longer holds the socket.
    if (CliSocket.DnsLookupPending()) CliSocket.CancelDnsLookup();
    if (ChatView* window = host_.chatWindow()) window->setHoldsSession(false);
    // Every end of the session connection is orderly: what was sent last is never lost.
    CliSocket.SetLingerOnOff(net::wsLingerOff);
    CliSocket.Dup(caller);
    StartReceiving();
    callerAddress_ = from;
    CallerStageIs(CallerStage::NotInvited);
}

void ChatSession::StartReceiving() {
    // Bytes an earlier connection left unfinished are no part of this one's first line.
    assembler_ = LineAssembler([this](std::string_view line) { receivedLine(line); });
    lineSource_ = CliSocket.Handle();
    invitationTaken_ = false;
    CallerStageIs(CallerStage::None);
}

void ChatSession::CallerStageIs(CallerStage stage) {
    callerStage_ = stage;
    callerSince_ = Clock();
    if (stage == CallerStage::None)
        callerTimer_.stop();
    else if (!callerTimer_.isActive())
        callerTimer_.start();
}

// Whether the connected session socket may be given to someone else: it is held by a
// caller that has had its answer, or that has not invited in its time. A caller whose
// bytes are arriving right now keeps the line.
bool ChatSession::CallerGivesWay() {
    if (dialogUp_) return false;
    switch (callerStage_) {
    case CallerStage::Answered:
        return true;
    case CallerStage::NotInvited:
        try {
            if (CliSocket.RcvdCount() > 0) return false;
        } catch (const std::exception&) {
            // A count the system cannot give says nothing for the caller.
        }
        return silentBefore(callerAddress_) || Clock() - callerSince_ >= CallerGrace;
    case CallerStage::None:
        break;
    }
    return false;
}

void ChatSession::LetCallerGo() {
    if (callerStage_ == CallerStage::NotInvited) rememberSilence(callerAddress_);
    CallerStageIs(CallerStage::None);
    try {
        CliSocket.Close();
    } catch (const std::exception&) {
        // A connection the system refuses to release has nothing more to be done with.
    }
}

// A caller alone on the line may take its time, up to the bound.
void ChatSession::WatchCaller() {
    if (callerStage_ == CallerStage::None || CliSocket.State() != wsConnected) {
        CallerStageIs(CallerStage::None);
        return;
    }
    if (Clock() - callerSince_ >= CallerBound) LetCallerGo();
}

void ChatSession::rememberSilence(std::uint32_t address) {
    const auto now = Clock();
    std::erase_if(silentCallers_,
                  [&](const auto& entry) { return now - entry.second >= SilenceRemembered; });
    // Callers from ever new addresses cannot make the memory grow without end.
    if (silentCallers_.size() >= 4096) silentCallers_.clear();
    silentCallers_[address] = now;
}

bool ChatSession::silentBefore(std::uint32_t address) {
    const auto found = silentCallers_.find(address);
    return found != silentCallers_.end() && Clock() - found->second < SilenceRemembered;
}

// Every complete line of the session socket, in order. The line is classified here once;
// `bytes` lives only until this returns, and so does everything `line` looks into.
void ChatSession::receivedLine(std::string_view bytes) {
    const ClassifiedLine line = classifyLine(bytes);
    if (line.kind == LineKind::Invitation) {
        // A connection carries one invitation. Further ones, and one whose connection
        // has ended by the time it is handed on (lines of a connection can still wait in
        // the buffer after its end), ask nobody anything: each would put a dialog, a
        // chime and a missing tray icon before the user for a caller who has left.
        if (invitationTaken_ || CliSocket.Handle() != lineSource_ ||
            CliSocket.State() != wsConnected || CliSocket.PeerGone())
            return;
        invitationTaken_ = true;
        CallerStageIs(CallerStage::None);
    }
    ChatView* window = host_.chatWindow();
    if (window) {
        // A window that shows the connected look holds the connection it shows, also one
        // it did not invite: closing it must end that connection.
        if (line.kind == LineKind::Acceptance) window->setHoldsSession(true);
        try {
            window->hideSelection();
        } catch (...) {
            // Only the look of the transcript is at stake; the line is still handled.
        }
    }
    if (line.kind == LineKind::Invitation) {
        // Put to the user a moment later: the reset of a caller that sent its line and
        // hung up at once comes in right behind the line, and that caller is then known
        // to be gone.
        QTimer::singleShot(invitationSettle, &callerTimer_,
                           [this, connection = CliSocket.Handle(), name = std::string(line.name()),
                            text = std::string(line.text())] {
                               if (CliSocket.Handle() != connection ||
                                   CliSocket.State() != wsConnected || CliSocket.PeerGone())
                                   return;
                               CallerName = name;
                               CallerText = text;
                               try {
                                   IncomingInvitation();
                               } catch (const std::exception&) {
                                   // As in the data event it came from: the error goes no
                                   // further, and the program goes on.
                               }
                           });
        return;
    }
    // Without a chat window only an invitation has an effect.
    if (!window) return;
    // A burst reaches the transcript once a turn, not once a line.
    window->gatherThisTurn();
    showReceivedLine(*window, line);
    if (line.close) CliSocket.Close();
}

void ChatSession::CliSocketDataAvailable(std::uint16_t) {
    try {
        assembler_.receive(CliSocket);
    } catch (...) {
        ContinueLinesLater();
        throw;
    }
    ContinueLinesLater();
}

// Lines left in the buffer when a turn's budget ran out are handed on in the next turns
// of the event loop, also when nothing more arrives to raise another data event.
void ChatSession::ContinueLinesLater() {
    if (continuing_ || !assembler_.linesWaiting()) return;
    continuing_ = true;
    QTimer::singleShot(0, &callerTimer_, [this] {
        continuing_ = false;
        try {
            assembler_.handOnWaiting();
        } catch (const std::exception&) {
            // As in the data event: an error of one line goes no further, and the lines
            // behind it are still handed on.
        }
        ContinueLinesLater();
    });
}

void ChatSession::IncomingInvitation() {
    const config::TSettings& settings = host_.settings();
    const std::string& user = host_.localUserName();
    if (settings.AutoResposta) {
        if (CliSocket.State() == wsConnected) {
            CliSocket.SendText(settings.Resposta.empty() ? refusalLine()
                                                         : autoAnswerLine(user, settings.Resposta));
            CallerStageIs(CallerStage::Answered);
        }
        return;
    }
    if (ChatView* window = host_.chatWindow()) window->closeForInvitation();

    // The dialog's caller: a further invitation line while it is up must not rename it.
    const std::string caller = CallerName;
    bool accepted = false;
    {
        // The dialog's loop delivers socket events; should a nested run ever get here, it
        // ends while the first dialog is still up.
        struct DialogUp {
            bool& flag;
            const bool outer = !flag;
            ~DialogUp() {
                if (outer) flag = false;
            }
        } up{dialogUp_};
        dialogUp_ = true;
        accepted = host_.askChat(caller, CallerText);
    }

    if (accepted && CliSocket.State() == wsConnected) {
        ChatView& window = host_.showChatWindow();
        newTranscript();
        window.setHoldsSession(true);
        window.clearTranscript();
        window.clearInput();
        window.connectedLook();
        CliSocket.SendText(acceptanceLine());
        window.addPlainLine("Status> Conectado com (" + caller + ")");
        window.addUser(caller);
    } else if (accepted) {
        ChatView& window = host_.showChatWindow();
        newTranscript();
        window.setHoldsSession(false);
        window.clearTranscript();
        window.addPlainLine(ansi("Status> O usuário (") + caller + ") se desconectou!!");
        window.disconnectedLook();
        window.removePeer();
    } else if (CliSocket.State() == wsConnected) {
        CliSocket.SendText(refusalLine());
        CallerStageIs(CallerStage::Answered);
    }
}

void ChatSession::CliSocketSessionClosed(std::uint16_t) {
    if (callerStage_ == CallerStage::NotInvited) rememberSilence(callerAddress_);
    CallerStageIs(CallerStage::None);
    // What the peer sent before its end is shown before the end; a buffer holds little.
    try {
        assembler_.handOnWaiting(true);
    } catch (const std::exception&) {
        // The end is shown all the same.
    }
    ChatView* window = host_.chatWindow();
    if (!window) return;
    window->setHoldsSession(false);
    if (noticePending_)
        closeLineOwed_ = true;
    else
        window->addPlainLine("Status> Desconectado!");
    window->disconnectedLook();
    window->removePeer();
}

// ----- inviting side --------------------------------------------------------------------

void ChatSession::Invite(const std::string& peerName) {
    // A caller that only holds the line gives way to the user's own invitation as it
    // would to another caller.
    if (CliSocket.State() == wsConnected && !CallerGivesWay()) {
        host_.showInformation(ansi("Você já esta conectado!!"));
        return;
    }
    if (text::asciiUpperCase(peerName) == text::asciiUpperCase(host_.localUserName())) {
        host_.showInformation(ansi("Você esta tentando se auto-conectar!"));
        return;
    }
    // An invitation still connecting to another computer is given up: the user has moved
    // on, and its answer would land in a window now showing someone else.
    if (CliSocket.State() == wsConnected)
        LetCallerGo();
    else if (CliSocket.State() != wsClosed)
        CliSocket.Close();
    ChatView& window = host_.showChatWindow();
    PeerName = peerName;
    newTranscript();
    window.setHoldsSession(true);
    window.setPeerName(text::capitalizeName(peerName));
    window.clearTranscript();
    window.clearInput();
    CliSocket.DnsLookup(peerName);
}

void ChatSession::CliSocketDnsLookupDone(std::uint16_t error) {
    // A lookup the program gave up (it ends with WSAEINTR), or whose socket has meanwhile
    // been taken over by a caller, has nothing left to do.
    if (error == platform::WSAEINTR || CliSocket.State() != wsClosed) return;
    if (error != 0) {
        addLine("Status> Servidor desconhecido");
        return;
    }
    CliSocket.SetAddr(CliSocket.DnsResult());
    CliSocket.SetPort(sessionPort_);
    CliSocket.SetProto(std::string(sessionProto));
    CliSocket.SetLingerOnOff(net::wsLingerOff);
    CliSocket.Connect();
    StartReceiving();
    ChatView* window = host_.chatWindow();
    if (!window) return;
    window->addPlainLine("Status> Convidando (" + window->peerName() + ") ao chat... (Aguarde)");
    window->disconnectedLook();
}

void ChatSession::CliSocketSessionConnected(std::uint16_t error) {
    ChatView* window = host_.chatWindow();
    const std::string peer = window ? window->peerName() : std::string();
    if (error == platform::WSAECONNREFUSED) {
        addLine(ansi("Status> O usuário (") + peer + ansi("), não esta disponível!"));
        if (host_.settings().WinPopUp) {
            const std::uint64_t transcript = transcript_;
            noticePending_ = true;
            host_.sendInvitationNotice(
                PeerName,
                [this, transcript](const std::string& line) {
                    if (transcript == transcript_) addLine(line);
                },
                [this, transcript] { noticeFinished(transcript); });
        }
        return;
    }
    if (error != 0) {
        addLine("Status> Impossivel conectar, error #" + std::to_string(error));
        return;
    }
    CliSocket.SendText(invitationLine(host_.localUserName(), host_.settings().ChatConvite));
}

void ChatSession::noticeFinished(std::uint64_t transcript) {
    if (transcript != transcript_) return;
    noticePending_ = false;
    if (!closeLineOwed_) return;
    closeLineOwed_ = false;
    addLine("Status> Desconectado!");
}

void ChatSession::ChatWindowClosing() {
    if (CliSocket.DnsLookupPending()) CliSocket.CancelDnsLookup();
}

} // namespace session
