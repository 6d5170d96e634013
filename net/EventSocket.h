#pragma once

#include "net/SendQueue.h"
#include "net/SocketException.h"
#include "platform/sockets/Winsock.h"

#include <QPointer>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace net {

using platform::SOCKET;

enum TSocketState : std::uint8_t {
    wsInvalidState = 0,
    wsOpened = 1,
    wsBound = 2,
    wsConnecting = 3,
    wsConnected = 4,
    wsAccepting = 5,
    wsListening = 6,
    wsClosed = 7,
};

enum TSocketSendFlags : int { wsSendNormal = 0, wsSendUrgent = 1 };
enum TSocketLingerOnOff : int { wsLingerOff = 0, wsLingerOn = 1, wsLingerNoSet = 2 };

class TCustomEventSocket;

using TSessionAvailable = std::function<void(TCustomEventSocket* Sender, std::uint16_t Error)>;
using TSessionConnected = TSessionAvailable;
using TSessionClosed = TSessionAvailable;
using TDataAvailable = TSessionAvailable;
using TDataSent = TSessionAvailable;
using TDnsLookupDone = TSessionAvailable;
using TChangeState =
    std::function<void(TCustomEventSocket* Sender, TSocketState OldState, TSocketState NewState)>;
using TNotifyEvent = std::function<void(TCustomEventSocket* Sender)>;
using THandlerExceptionEvent =
    std::function<void(TCustomEventSocket* Sender, const std::exception& E, bool& CanClose)>;

class SocketWindow;

// A TCP socket in non-blocking mode whose outcomes arrive as events on the
// user-interface thread, through the event loop: a caller waiting, a connect completed,
// data arrived, the send queue emptied, the peer closed, a host name resolved. No
// operation waits for the network. Errors of an operation are reported through
// `ReportError`: to `OnError` when assigned, otherwise as an `ESocketException`.
// Handlers may close, reuse or hand over the socket, but not destroy it.
class TCustomEventSocket {
public:
    TCustomEventSocket();
    virtual ~TCustomEventSocket();
    TCustomEventSocket(const TCustomEventSocket&) = delete;
    TCustomEventSocket& operator=(const TCustomEventSocket&) = delete;

    // Settings.
    const std::string& Addr() const { return addr_.text; }
    void SetAddr(const std::string& text);
    const std::string& Port() const { return port_.text; }
    virtual void SetPort(const std::string& text);
    const std::string& Proto() const { return proto_.text; }
    virtual void SetProto(const std::string& text);
    const std::string& LocalPort() const { return localPort_.text; }
    void SetLocalPort(const std::string& text);
    TSocketSendFlags SendFlags();
    void SetSendFlags(int flags);
    TSocketLingerOnOff LingerOnOff() const { return lingerOnOff_; }
    void SetLingerOnOff(TSocketLingerOnOff value) { lingerOnOff_ = value; }
    std::int32_t LingerTimeout() const { return lingerTimeout_; }
    void SetLingerTimeout(std::int32_t seconds) { lingerTimeout_ = seconds; }
    std::int32_t FlushTimeout() const { return flushTimeout_; }
    void SetFlushTimeout(std::int32_t value) { flushTimeout_ = value; }

    // Read-only values.
    const std::string& DnsResult() const { return dnsResult_; }
    const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }
    TSocketState State() const { return state_; }
    std::int32_t ReadCount() const { return readCount_; }
    virtual std::int32_t RcvdCount();
    std::int32_t LastError() const { return lastError_; }
    SOCKET Handle() const { return handle_; }
    // The address (network byte order) of the caller the last Accept took.
    std::uint32_t AcceptedFrom() const { return acceptedFrom_; }
    // Whether the peer of this connection has already hung up or reset it, though lines
    // it sent before may still wait to be read.
    bool PeerGone();

    // Operations.
    virtual void Listen();
    virtual SOCKET Accept();
    virtual void Dup(SOCKET handle);
    virtual void Connect();
    virtual void DnsLookup(const std::string& hostName);
    // Gives up a pending lookup; OnDnsLookupDone then fires with WSAEINTR.
    virtual void CancelDnsLookup();
    bool DnsLookupPending() const { return pendingLookup_ != 0; }
    virtual int Receive(void* buffer, int size);
    virtual int Send(const void* data, int count);
    virtual int SendText(const std::string& text);
    virtual void Close();
    virtual void Abort();

    void ReportError(const std::string& text);
    void ReportSocketError(const std::string& functionName);

    // Events; each fires only when assigned.
    TSessionAvailable OnSessionAvailable;
    TSessionConnected OnSessionConnected;
    TSessionClosed OnSessionClosed;
    TDataAvailable OnDataAvailable;
    TDataSent OnDataSent;
    TDnsLookupDone OnDnsLookupDone;
    TChangeState OnChangeState;
    TNotifyEvent OnError;
    THandlerExceptionEvent OnHandlerException;

    // The queued bytes, for inspection.
    const SendQueue& SendBuffer() const { return sendQueue_; }

    // The notification window's entry: every message posted to it comes here.
    virtual void WndProc(QEvent* message);

protected:
    virtual void ResetDefaults();
    virtual void InternalClose(bool shutdown, std::uint16_t error);
    // Hands queued bytes to the system in one call; several blocks may go together.
    virtual int RealSend(const iovec* pieces, int count);
    virtual void HandleBackgroundException(const std::exception& e);
    virtual void TriggerDataAvailable(std::uint16_t error);
    virtual void TriggerSessionAvailable(std::uint16_t error);
    virtual void TriggerSessionConnected(std::uint16_t error);
    virtual void TriggerSessionClosed(std::uint16_t error);
    virtual void TriggerDataSent(std::uint16_t error);
    virtual void TriggerChangeState(TSocketState oldState, TSocketState newState);
    virtual void TriggerDnsLookupDone(std::uint16_t error);
    virtual void TriggerError();
    virtual int DoRecv(char* buffer, int size, int flags);
    virtual void ShutDown(int how);
    virtual void MessagePump();
    virtual void TryToSend();

private:
    struct Setting {
        std::string text;
        bool assigned = false;
        bool resolved = false;
    };

    void ChangeState(TSocketState newState);
    void SetSetting(Setting& setting, const std::string& text, const char* name);
    void ResolveSettings(bool forConnect);
    void ApplyLinger();
    void ReceivePendingData(std::uint16_t error);
    void HandleSocketMessage(const platform::SocketMessage& message);
    void HandleLookupMessage(const platform::LookupMessage& message);
    void CancelPendingLookup(bool destroying);
    bool BindLocalPortChecked();
    void PostWriteNotification();

    std::unique_ptr<SocketWindow> window_;
    SOCKET handle_ = platform::INVALID_SOCKET;
    TSocketState state_ = wsClosed;

    Setting addr_;
    Setting port_;
    Setting proto_;
    Setting localPort_;
    std::uint32_t addrValue_ = 0; // network byte order
    std::uint16_t portValue_ = 0; // host byte order
    int protoValue_ = 6;
    std::uint16_t localPortValue_ = 0;
    sockaddr_in sin_{};

    TSocketLingerOnOff lingerOnOff_ = wsLingerOn;
    std::int32_t lingerTimeout_ = 0;
    std::int32_t flushTimeout_ = 60;
    int sendFlags_ = 0;

    std::string dnsResult_;
    std::vector<std::string> dnsResultList_;
    platform::LookupHandle pendingLookup_ = 0;

    std::int32_t readCount_ = 0;
    std::int32_t lastError_ = 0;
    bool closeReported_ = false;
    bool allSent_ = true;
    bool destroying_ = false;
    int dispatchDepth_ = 0;
    SOCKET ownWritePending_ = platform::INVALID_SOCKET;
    SOCKET acceptedHandle_ = platform::INVALID_SOCKET;
    std::uint32_t acceptedFrom_ = 0;

    SendQueue sendQueue_;
};

// The socket the forms use; all behaviour is in `TCustomEventSocket`.
class TEventSocket : public TCustomEventSocket {
public:
    using TCustomEventSocket::TCustomEventSocket;
};

} // namespace net
