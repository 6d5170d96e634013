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
    callerTimer_.setSingleShot(true);
    QObject::connect(&callerTimer_, &QTimer::timeout, &callerTimer_,
                     [this] { CallerBoundPassed(); });
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
    // While the invitation dialog is up its answer belongs to the caller it shows, even
    // once that caller has hung up: a new one would otherwise receive it.
    if (CliSocket.State() == wsConnected || dialogUp_) {
        // Busy: the second caller is told so on a connection of its own. That connection
        // ends in an orderly way, so the line reaches the caller before the end does.
        TmpSocket.SetLingerOnOff(net::wsLingerNoSet);
        TmpSocket.Dup(SrvSocket.Accept());
        TmpSocket.SendText(busyLine());
        TmpSocket.Close();
        return;
    }
    // Accepted first: a caller that cannot be taken leaves an outgoing attempt as it is.
    const net::SOCKET caller = SrvSocket.Accept();
    // The caller takes the session socket over, also in the middle of an outgoing attempt.
    // A name lookup of that attempt is given up, so that its late answer cannot touch
    // the adopted connection, and the inviting window no longer holds the socket.
    if (CliSocket.DnsLookupPending()) CliSocket.CancelDnsLookup();
    if (ChatView* window = host_.chatWindow()) window->setHoldsSession(false);
    CliSocket.Dup(caller);
    StartReceiving();
    StartCallerBound();
}

void ChatSession::StartReceiving() {
    // Bytes an earlier connection left unfinished are no part of this one's first line.
    assembler_ = LineAssembler([this](std::string_view line) { receivedLine(line); });
    lineSource_ = CliSocket.Handle();
    invitationTaken_ = false;
    callerTimer_.stop();
}

void ChatSession::StartCallerBound() {
    boundConnection_ = CliSocket.Handle();
    callerTimer_.start(CallerBound);
}

void ChatSession::CallerBoundPassed() {
    // Only the connection the bound was started for is let go; the caller is told nothing
    // more, and its end is handled like any other.
    if (CliSocket.Handle() != boundConnection_ || CliSocket.State() != wsConnected) return;
    try {
        CliSocket.Close();
    } catch (const std::exception&) {
        // A connection the system refuses to release has nothing more to be done with.
    }
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
            CliSocket.State() != wsConnected)
            return;
        invitationTaken_ = true;
        callerTimer_.stop();
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
        CallerName = line.name();
        CallerText = line.text();
        IncomingInvitation();
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
            StartCallerBound();
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
        StartCallerBound();
    }
}

void ChatSession::CliSocketSessionClosed(std::uint16_t) {
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
    if (CliSocket.State() == wsConnected) {
        host_.showInformation(ansi("Você já esta conectado!!"));
        return;
    }
    if (text::asciiUpperCase(peerName) == text::asciiUpperCase(host_.localUserName())) {
        host_.showInformation(ansi("Você esta tentando se auto-conectar!"));
        return;
    }
    // An invitation still connecting to another computer is given up: the user has moved
    // on, and its answer would land in a window now showing someone else.
    if (CliSocket.State() != wsClosed) CliSocket.Close();
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
    CliSocket.SetProto(std::string(kSessionProto));
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
