#include "net/EventSocket.h"

#include "net/Resolve.h"
#include "net/SocketLibrary.h"
#include "net/TurnBudget.h"
#include "net/WinsockErrorText.h"

#include <QCoreApplication>
#include <QEvent>
#include <array>
#include <chrono>
#include <cstdio>

namespace net {

using platform::FD_ACCEPT;
using platform::FD_CLOSE;
using platform::FD_CONNECT;
using platform::FD_READ;
using platform::FD_WRITE;
using platform::INVALID_SOCKET;

namespace {

// Notifications each kind of use asks for.
constexpr long listenEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;               // 43
constexpr long dupEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;                 // 51
constexpr long connectEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE; // 59

// Blocks handed to the system in one gathered send.
constexpr int gatherBlocks = 64;

int liveSockets = 0;

std::string formatted(const char* format, const std::string& text, int number) {
    std::array<char, 512> buffer{};
    std::snprintf(buffer.data(), buffer.size(), format, text.c_str(), number);
    return buffer.data();
}

std::string formatted(const char* format, int number) {
    std::array<char, 256> buffer{};
    std::snprintf(buffer.data(), buffer.size(), format, number);
    return buffer.data();
}

} // namespace

// The socket's hidden notification window: every message posted to it goes to the
// socket it holds.
class SocketWindow : public platform::NotifyWindow {
public:
    explicit SocketWindow(TCustomEventSocket* socket) : socket_(socket) {}
    void detach() { socket_ = nullptr; }

protected:
    bool event(QEvent* e) override {
        if (socket_ && (e->type() == platform::SocketMessage::eventType ||
                        e->type() == platform::LookupMessage::eventType)) {
            socket_->WndProc(e);
            return true;
        }
        return platform::NotifyWindow::event(e);
    }

private:
    TCustomEventSocket* socket_;
};

TCustomEventSocket::TCustomEventSocket() : window_(std::make_unique<SocketWindow>(this)) {
    ResetDefaults();
    ++liveSockets;
}

TCustomEventSocket::~TCustomEventSocket() {
    destroying_ = true;
    try {
        CancelPendingLookup(true);
    } catch (...) {
        // A destructor must not throw; a lookup that cannot be cancelled never reports to
        // a socket that is gone.
    }
    if (state_ != wsClosed) {
        try {
            Close();
        } catch (...) {
            // A destructor must not throw; the handle is released with the library anyway.
        }
    }
    if (--liveSockets <= 0) {
        liveSockets = 0;
        releaseSocketLibrary();
    }
    sendQueue_.Discard();
    window_->detach();
}

// ----- settings -------------------------------------------------------------------------

void TCustomEventSocket::ResetDefaults() {
    handle_ = INVALID_SOCKET;
    state_ = wsClosed;
    addr_.assigned = addr_.resolved = false;
    port_.assigned = port_.resolved = false;
    proto_ = Setting{"tcp", true, false};
    protoValue_ = 6;
    localPort_ = Setting{"0", true, false};
    localPortValue_ = 0;
    sin_ = sockaddr_in{};
    sin_.sin_family = AF_INET;
    lingerOnOff_ = wsLingerOn;
    lingerTimeout_ = 0;
    flushTimeout_ = 60;
    readCount_ = 0;
    closeReported_ = false;
    allSent_ = true;
}

void TCustomEventSocket::SetSetting(Setting& setting, const std::string& text, const char* name) {
    if (setting.assigned && text == setting.text) return;
    if (state_ != wsClosed) {
        ReportError(std::string("Cannot change ") + name + " if not closed");
        return;
    }
    setting.text = TrimBlanks(text);
    setting.assigned = !setting.text.empty();
    setting.resolved = false;
}

void TCustomEventSocket::SetAddr(const std::string& text) {
    SetSetting(addr_, text, "Addr");
}
void TCustomEventSocket::SetPort(const std::string& text) {
    SetSetting(port_, text, "Port");
}
void TCustomEventSocket::SetProto(const std::string& text) {
    SetSetting(proto_, text, "Proto");
}

void TCustomEventSocket::SetLocalPort(const std::string& text) {
    if (state_ != wsClosed) {
        ReportError("Cannot change LocalPort if not closed");
        return;
    }
    localPort_.text = text;
    localPort_.resolved = false;
}

void TCustomEventSocket::SetSendFlags(int flags) {
    if (flags == wsSendNormal)
        sendFlags_ = 0;
    else if (flags == wsSendUrgent)
        sendFlags_ = platform::WS_MSG_OOB;
    else
        ReportError("Invalid SendFlags");
}

TSocketSendFlags TCustomEventSocket::SendFlags() {
    if (sendFlags_ == 0) return wsSendNormal;
    if (sendFlags_ == platform::WS_MSG_OOB) return wsSendUrgent;
    ReportError("Invalid internal SendFlags");
    return wsSendNormal;
}

std::int32_t TCustomEventSocket::RcvdCount() {
    unsigned long waiting = 0;
    if (socketLibrary().ioctlsocket(handle_, platform::WS_FIONREAD, &waiting) != 0) {
        ReportSocketError("ioctlSocket");
        return -1;
    }
    return static_cast<std::int32_t>(waiting);
}

void TCustomEventSocket::ChangeState(TSocketState newState) {
    const TSocketState oldState = state_;
    state_ = newState;
    TriggerChangeState(oldState, newState);
}

void TCustomEventSocket::ResolveSettings(bool forConnect) {
    platform::SocketLibrary& library = socketLibrary();
    if (!proto_.resolved) {
        protoValue_ = SocketResolveProto(proto_.text);
        proto_.resolved = true;
    }
    if (!port_.resolved) {
        portValue_ = SocketResolvePort(port_.text, proto_.text);
        sin_.sin_port = library.hostToNetwork16(portValue_);
        port_.resolved = true;
    }
    if (forConnect && !localPort_.resolved) {
        localPortValue_ = SocketResolvePort(localPort_.text, proto_.text);
        localPort_.resolved = true;
    }
    if (!addr_.resolved) {
        addrValue_ = SocketResolveHost(addr_.text);
        sin_.sin_addr.s_addr = addrValue_;
        addr_.resolved = true;
    }
}

// ----- operations -----------------------------------------------------------------------

void TCustomEventSocket::Listen() {
    // A second handle would take the first one's place and leave it listening unheard.
    if (handle_ != INVALID_SOCKET && state_ != wsClosed) {
        ReportError("Listen: Socket already in use");
        return;
    }
    platform::SocketLibrary& library = socketLibrary();
    const struct {
        const Setting& setting;
        const char* text;
    } required[] = {{port_, "listen: port not assigned"},
                    {proto_, "listen: protocol not assigned"},
                    {addr_, "listen: address not assigned"}};
    for (const auto& r : required) {
        if (!r.setting.assigned) {
            library.WSASetLastError(platform::WSAEINVAL);
            ReportSocketError(r.text);
            return;
        }
    }
    try {
        ResolveSettings(false);
    } catch (const ESocketException& e) {
        ReportError(std::string("listen: ") + e.what());
        return;
    }
    sendQueue_.Discard();
    handle_ = library.socket(AF_INET, 1, protoValue_);
    if (handle_ == INVALID_SOCKET) {
        ReportSocketError("socket");
        return;
    }
    if (library.bind(handle_, sin_) != 0) {
        // The new handle is let go before the report, which may not return.
        const int error = library.WSAGetLastError();
        library.closesocket(handle_);
        handle_ = INVALID_SOCKET;
        library.WSASetLastError(error);
        ReportSocketError("Bind");
        return;
    }
    ChangeState(wsBound);
    if (library.listen(handle_, 5) != 0) {
        ReportSocketError("Listen");
        return;
    }
    ChangeState(wsListening);
    if (library.WSAAsyncSelect(handle_, window_.get(), listenEvents) != 0)
        ReportSocketError("WSAASyncSelect");
}

SOCKET TCustomEventSocket::Accept() {
    platform::SocketLibrary& library = socketLibrary();
    if (state_ != wsListening) {
        library.WSASetLastError(platform::WSAEINVAL);
        ReportSocketError("not a listening socket");
        return INVALID_SOCKET;
    }
    const SOCKET accepted = library.accept(handle_, &sin_);
    if (accepted == INVALID_SOCKET) {
        ReportSocketError("Accept");
        return INVALID_SOCKET;
    }
    acceptedHandle_ = accepted;
    acceptedFrom_ = sin_.sin_addr.s_addr;
    return accepted;
}

bool TCustomEventSocket::PeerGone() {
    return handle_ != INVALID_SOCKET && state_ == wsConnected &&
           socketLibrary().peerHasLeft(handle_);
}

void TCustomEventSocket::Dup(SOCKET handle) {
    platform::SocketLibrary& library = socketLibrary();
    if (handle == 0 || handle == INVALID_SOCKET) {
        library.WSASetLastError(platform::WSAEINVAL);
        ReportSocketError("Dup");
        return;
    }
    // A handle this socket cannot take is released rather than left open with no owner:
    // its caller would otherwise wait for an answer that never comes.
    auto releaseAdopted = [&] {
        const int error = library.WSAGetLastError();
        library.closesocket(handle);
        if (handle_ == handle) handle_ = INVALID_SOCKET;
        library.WSASetLastError(error);
    };
    if (state_ != wsClosed) {
        const int result = library.closesocket(handle_);
        handle_ = INVALID_SOCKET;
        if (result != 0) {
            releaseAdopted();
            ReportSocketError("Dup (closesocket)");
            return;
        }
        ChangeState(wsClosed);
    }
    // Bytes left queued from an earlier connection are not the adopted peer's to read.
    sendQueue_.Discard();
    allSent_ = true;
    closeReported_ = false;
    handle_ = handle;
    try {
        ApplyLinger();
    } catch (...) {
        releaseAdopted();
        throw;
    }
    if (library.WSAAsyncSelect(handle_, window_.get(), dupEvents) != 0) {
        releaseAdopted();
        ReportSocketError("WSAAsyncSelect");
        return;
    }
    ChangeState(wsConnected);
}

void TCustomEventSocket::Connect() {
    if (handle_ != INVALID_SOCKET && state_ != wsClosed) {
        ReportError("Connect: Socket already in use");
        return;
    }
    if (!port_.assigned) {
        ReportError("Connect: No Port Specified");
        return;
    }
    if (!addr_.assigned) {
        ReportError("Connect: No IP Address Specified");
        return;
    }
    if (!proto_.assigned) {
        ReportError("Connect: No Protocol Specified");
        return;
    }
    try {
        ResolveSettings(true);
    } catch (const ESocketException& e) {
        ReportError(std::string("connect: ") + e.what());
        return;
    }
    platform::SocketLibrary& library = socketLibrary();
    sendQueue_.Discard();
    handle_ = library.socket(AF_INET, 1, protoValue_);
    if (handle_ == INVALID_SOCKET) {
        ReportSocketError("Connect (socket)");
        return;
    }
    // A new connection, also when a handler of the last one's end makes it.
    closeReported_ = false;
    allSent_ = true;
    ChangeState(wsOpened);
    if (localPortValue_ != 0 && !BindLocalPortChecked()) return;
    ApplyLinger();
    const std::uint32_t allBits = 0xFFFFFFFFu;
    if (library.setsockopt(handle_, platform::WS_SOL_SOCKET, platform::WS_SO_KEEPALIVE, &allBits,
                           sizeof allBits) != 0) {
        ReportSocketError("setsockopt(SO_KEEPALIVE)");
        return;
    }
    if (library.setsockopt(handle_, platform::WS_SOL_SOCKET, platform::WS_SO_REUSEADDR, &allBits,
                           sizeof allBits) != 0) {
        ReportSocketError("setsockopt(SO_REUSEADDR)");
        return;
    }
    if (library.WSAAsyncSelect(handle_, window_.get(), connectEvents) != 0) {
        ReportSocketError("WSAAsyncSelect");
        return;
    }
    if (library.connect(handle_, sin_) == 0 ||
        library.WSAGetLastError() == platform::WSAEWOULDBLOCK) {
        ChangeState(wsConnecting);
        return;
    }
    lastError_ = library.WSAGetLastError();
    ReportSocketError("Connect");
}

bool TCustomEventSocket::BindLocalPortChecked() {
    platform::SocketLibrary& library = socketLibrary();
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = library.hostToNetwork16(localPortValue_);
    if (library.bind(handle_, local) != 0) {
        ReportError(formatted("winsock.bind failed, error #%d", library.WSAGetLastError()));
        return false;
    }
    sockaddr_in bound{};
    if (library.getsockname(handle_, &bound) != 0) {
        ReportError(formatted("winsock.getsockname failed, error #%d", library.WSAGetLastError()));
        return false;
    }
    localPort_.text = std::to_string(library.networkToHost16(bound.sin_port));
    return true;
}

void TCustomEventSocket::ApplyLinger() {
    if (lingerOnOff_ == wsLingerNoSet) return;
    if (handle_ == INVALID_SOCKET) {
        ReportError("Cannot set linger option at this time");
        return;
    }
    const platform::WsLinger linger{static_cast<std::uint16_t>(lingerOnOff_ == wsLingerOn ? 1 : 0),
                                    static_cast<std::uint16_t>(lingerTimeout_)};
    if (socketLibrary().setsockopt(handle_, platform::WS_SOL_SOCKET, platform::WS_SO_LINGER,
                                   &linger, sizeof linger) != 0)
        ReportSocketError("setsockopt(SO_LINGER)");
}

void TCustomEventSocket::DnsLookup(const std::string& hostName) {
    if (hostName.empty()) {
        ReportError("DNS lookup: invalid host name.");
        TriggerDnsLookupDone(platform::WSAEINVAL);
        return;
    }
    platform::SocketLibrary& library = socketLibrary();
    if (pendingLookup_ != 0) {
        library.WSACancelAsyncRequest(pendingLookup_);
        pendingLookup_ = 0;
    }
    dnsResult_.clear();
    dnsResultList_.clear();
    const std::uint32_t address = library.inet_addr(hostName);
    if (address != INADDR_NONE) {
        dnsResult_ = library.inet_ntoa(address);
        TriggerDnsLookupDone(0);
        return;
    }
    const platform::LookupHandle request = library.WSAAsyncGetHostByName(window_.get(), hostName);
    if (request == 0) {
        ReportError(formatted("%s: can't start DNS lookup, error #%d", hostName,
                              library.WSAGetLastError()));
        return;
    }
    pendingLookup_ = request;
}

void TCustomEventSocket::CancelDnsLookup() {
    CancelPendingLookup(false);
}

void TCustomEventSocket::CancelPendingLookup(bool destroying) {
    if (pendingLookup_ == 0) return;
    const int result = socketLibrary().WSACancelAsyncRequest(pendingLookup_);
    pendingLookup_ = 0;
    if (result != 0) {
        ReportSocketError("WSACancelAsyncRequest");
        return;
    }
    if (!destroying) TriggerDnsLookupDone(platform::WSAEINTR);
}

int TCustomEventSocket::DoRecv(char* buffer, int size, int flags) {
    return socketLibrary().recv(handle_, buffer, size, flags);
}

int TCustomEventSocket::Receive(void* buffer, int size) {
    const int received = DoRecv(static_cast<char*>(buffer), size, 0);
    if (received < 0)
        lastError_ = socketLibrary().WSAGetLastError();
    else
        readCount_ += received;
    return received;
}

// ----- sending --------------------------------------------------------------------------

int TCustomEventSocket::Send(const void* data, int count) {
    if (state_ != wsConnected) {
        socketLibrary().WSASetLastError(platform::WSAENOTCONN);
        ReportSocketError("Send");
        return -1;
    }
    allSent_ = false;
    int result = 0;
    if (count > 0) {
        sendQueue_.Append(static_cast<const char*>(data), count);
        result = count;
    }
    TryToSend();
    if (allSent_) PostWriteNotification();
    return result;
}

int TCustomEventSocket::SendText(const std::string& text) {
    return Send(text.data(), static_cast<int>(text.size()));
}

void TCustomEventSocket::PostWriteNotification() {
    // Handled later like one from the system, so OnDataSent never fires inside Send.
    // A Send made by one of this socket's own event handlers gets it as soon as that
    // handler has returned, without another turn of the event loop.
    if (dispatchDepth_ > 0) {
        ownWritePending_ = handle_;
        return;
    }
    QCoreApplication::postEvent(window_.get(), new platform::SocketMessage(handle_, FD_WRITE, 0));
}

int TCustomEventSocket::RealSend(const iovec* pieces, int count) {
    return socketLibrary().sendGathered(handle_, pieces, count, sendFlags_);
}

void TCustomEventSocket::TryToSend() {
    if (handle_ == INVALID_SOCKET || sendQueue_.empty()) return;
    for (;;) {
        int unread = 0;
        sendQueue_.front().PeekData(unread);
        if (unread == 0) {
            if (sendQueue_.blockCount() > 1) {
                sendQueue_.PopFront();
                continue;
            }
            // The last block stays for reuse.
            allSent_ = true;
            return;
        }
        std::array<iovec, gatherBlocks> pieces;
        const int count = sendQueue_.Gather(pieces.data(), gatherBlocks);
        std::size_t offered = 0;
        for (int i = 0; i < count; ++i)
            offered += pieces[static_cast<std::size_t>(i)].iov_len;
        const int sent = RealSend(pieces.data(), count);
        if (sent == 0) return;
        if (sent < 0) {
            const int error = socketLibrary().WSAGetLastError();
            switch (error) {
            case platform::WSAECONNRESET:
            case platform::WSAENOTSOCK:
            case platform::WSAENOTCONN:
            case platform::WSAEINVAL:
                // The flag keeps Close from reporting; its reset clears it again.
                closeReported_ = true;
                Close();
                TriggerSessionClosed(static_cast<std::uint16_t>(error));
                return;
            case platform::WSAEWOULDBLOCK:
                return;
            default:
                ReportSocketError("TryToSend failed");
                return;
            }
        }
        int remaining = sent;
        for (std::size_t i = 0; remaining > 0 && i < sendQueue_.blockCount(); ++i)
            remaining -= sendQueue_.block(i).Consume(remaining);
        if (static_cast<std::size_t>(sent) < offered) return;
    }
}

// ----- closing --------------------------------------------------------------------------

void TCustomEventSocket::Close() {
    InternalClose(true, 0);
}

void TCustomEventSocket::ShutDown(int how) {
    socketLibrary().shutdown(handle_, how);
}

void TCustomEventSocket::MessagePump() {
    QCoreApplication::processEvents();
}

void TCustomEventSocket::InternalClose(bool shutdown, std::uint16_t error) {
    if (handle_ == INVALID_SOCKET) {
        if (state_ != wsClosed) {
            ChangeState(wsClosed);
            ResetDefaults();
        }
        return;
    }
    if (state_ == wsClosed) return;
    if (shutdown) ShutDown(platform::WS_SD_SEND);
    platform::SocketLibrary& library = socketLibrary();
    for (;;) {
        if (library.closesocket(handle_) == 0) break;
        lastError_ = library.WSAGetLastError();
        if (lastError_ == platform::WSAEWOULDBLOCK) {
            MessagePump();
            continue;
        }
        if (lastError_ == platform::WSANOTINITIALISED) break;
        handle_ = INVALID_SOCKET;
        ReportSocketError("Disconnect (closesocket)");
        return;
    }
    handle_ = INVALID_SOCKET;
    ChangeState(wsClosed);
    if (!destroying_ && !closeReported_ && OnSessionClosed) {
        closeReported_ = true;
        TriggerSessionClosed(error);
        // The handler took up a new connection on this socket: that one is not reset.
        if (handle_ != INVALID_SOCKET) return;
    }
    try {
        ResetDefaults();
    } catch (...) {
        // Resetting only assigns fields (at most memory for the protocol text can run
        // out), and the connection is closed either way.
    }
}

void TCustomEventSocket::Abort() {
    CancelPendingLookup(false);
    sendQueue_.Discard();
    if (state_ == wsConnected && protoValue_ == 6) {
        lingerOnOff_ = wsLingerOff;
        ApplyLinger();
    }
    InternalClose(false, 0);
}

// ----- errors ---------------------------------------------------------------------------

void TCustomEventSocket::ReportError(const std::string& text) {
    if (OnError) {
        TriggerError();
        return;
    }
    throw ESocketException(text);
}

void TCustomEventSocket::ReportSocketError(const std::string& functionName) {
    platform::SocketLibrary& library = socketLibrary();
    const int error = library.WSAGetLastError();
    const std::string text = "Error " + std::to_string(error) + " in function " + functionName +
                             "\r\n" + WinsockErrorText(error);
    if (error == platform::WSAECONNRESET || error == platform::WSAENOTCONN) {
        if (handle_ != INVALID_SOCKET) library.closesocket(handle_);
        handle_ = INVALID_SOCKET;
        if (state_ != wsClosed) ChangeState(wsClosed);
    }
    lastError_ = error;
    ReportError(text);
}

void TCustomEventSocket::HandleBackgroundException(const std::exception& e) {
    bool canClose = true;
    if (OnHandlerException) {
        try {
            OnHandlerException(this, e, canClose);
        } catch (...) {
            // An error of the error handler has no one left to report to; the socket is
            // aborted below as if the handler had not been set.
        }
    }
    if (canClose) {
        try {
            Abort();
        } catch (...) {
            // This runs from the event loop, where an escaping error would end the
            // program; an abort that fails leaves nothing more to undo.
        }
    }
}

// ----- notifications --------------------------------------------------------------------

void TCustomEventSocket::WndProc(QEvent* message) {
    ++dispatchDepth_;
    struct DepthGuard {
        int& depth;
        ~DepthGuard() { --depth; }
    } guard{dispatchDepth_};
    auto guarded = [this](auto&& handle) {
        try {
            handle();
        } catch (const std::exception& e) {
            HandleBackgroundException(e);
        } catch (...) {
            HandleBackgroundException(std::runtime_error("Unknown exception"));
        }
    };
    guarded([&] {
        if (message->type() == platform::SocketMessage::eventType)
            HandleSocketMessage(*static_cast<platform::SocketMessage*>(message));
        else if (message->type() == platform::LookupMessage::eventType)
            HandleLookupMessage(*static_cast<platform::LookupMessage*>(message));
    });
    while (dispatchDepth_ == 1 && ownWritePending_ != INVALID_SOCKET) {
        const platform::SocketMessage own(ownWritePending_, FD_WRITE, 0);
        ownWritePending_ = INVALID_SOCKET;
        guarded([&] { HandleSocketMessage(own); });
    }
}

void TCustomEventSocket::HandleSocketMessage(const platform::SocketMessage& message) {
    const SOCKET handle = message.socket;
    const auto error = static_cast<std::uint16_t>(message.error);
    // A handler may close or reuse the socket; each step looks again.
    auto stillOurs = [&] { return handle != INVALID_SOCKET && handle == handle_; };
    if (!stillOurs()) return;
    if (message.events & FD_CONNECT) {
        ChangeState(wsConnected);
        TriggerSessionConnected(error);
        // A handler that closed the failed socket and took up another connection keeps it.
        if (error != 0 && stillOurs() && state_ != wsClosed) Close();
        if (!stillOurs()) return;
    }
    if (message.events & FD_READ) {
        ReceivePendingData(error);
        if (!stillOurs()) return;
    }
    if (message.events & FD_WRITE) {
        TryToSend();
        // A send that ended the connection has not sent everything, whatever the reset
        // of the closed socket says.
        if (!stillOurs()) return;
        if (allSent_) TriggerDataSent(error);
        if (!stillOurs()) return;
    }
    if (message.events & FD_ACCEPT) {
        TriggerSessionAvailable(error);
        if (!stillOurs()) return;
    }
    if (message.events & FD_CLOSE) {
        if (state_ == wsConnecting) return;
        ReceivePendingData(0);
        // The data handler may have closed the socket, which reported the end already.
        if (!stillOurs()) return;
        if (OnSessionClosed && !closeReported_) {
            closeReported_ = true;
            TriggerSessionClosed(error);
        }
        if (stillOurs() && state_ != wsClosed) Close();
    }
}

void TCustomEventSocket::ReceivePendingData(std::uint16_t error) {
    try {
        platform::SocketLibrary& library = socketLibrary();
        const auto turnEnds = std::chrono::steady_clock::now() + turnBudget;
        for (;;) {
            lastError_ = 0;
            if (OnDataAvailable) {
                TriggerDataAvailable(error);
            } else {
                char scratch[1024];
                if (library.recv(handle_, scratch, sizeof scratch, 0) < 0) {
                    const int failure = library.WSAGetLastError();
                    lastError_ = failure == platform::WSAEWOULDBLOCK ? 0 : failure;
                    if (lastError_ == 0) return;
                }
            }
            if (lastError_ != 0) return;
            unsigned long waiting = 0;
            if (library.waitingAfterReceive(handle_, &waiting) != 0) {
                lastError_ = library.WSAGetLastError();
                return;
            }
            if (waiting == 0) return;
            // The notification comes again while bytes wait; the rest is read then.
            if (std::chrono::steady_clock::now() >= turnEnds) return;
        }
    } catch (...) {
        // An error of the data event goes no further: the connection stays as it is.
    }
}

void TCustomEventSocket::HandleLookupMessage(const platform::LookupMessage& message) {
    if (pendingLookup_ == 0 || message.request != pendingLookup_) return;
    pendingLookup_ = 0;
    if (message.error == 0) {
        platform::SocketLibrary& library = socketLibrary();
        for (std::uint32_t address : message.addresses)
            dnsResultList_.push_back(library.inet_ntoa(address));
        if (!dnsResultList_.empty()) dnsResult_ = dnsResultList_.front();
    }
    TriggerDnsLookupDone(static_cast<std::uint16_t>(message.error));
}

// ----- event triggers -------------------------------------------------------------------

void TCustomEventSocket::TriggerDataAvailable(std::uint16_t error) {
    if (OnDataAvailable) OnDataAvailable(this, error);
}
void TCustomEventSocket::TriggerSessionAvailable(std::uint16_t error) {
    if (OnSessionAvailable) OnSessionAvailable(this, error);
}
void TCustomEventSocket::TriggerSessionConnected(std::uint16_t error) {
    if (OnSessionConnected) OnSessionConnected(this, error);
}
void TCustomEventSocket::TriggerSessionClosed(std::uint16_t error) {
    if (OnSessionClosed) OnSessionClosed(this, error);
}
void TCustomEventSocket::TriggerDataSent(std::uint16_t error) {
    if (OnDataSent) OnDataSent(this, error);
}
void TCustomEventSocket::TriggerChangeState(TSocketState oldState, TSocketState newState) {
    if (OnChangeState) OnChangeState(this, oldState, newState);
}
void TCustomEventSocket::TriggerDnsLookupDone(std::uint16_t error) {
    if (OnDnsLookupDone) OnDnsLookupDone(this, error);
}
void TCustomEventSocket::TriggerError() {
    if (OnError) OnError(this);
}

} // namespace net
