#pragma once

#include "platform/sockets/WinsockErrors.h"

#include <QEvent>
#include <QObject>
#include <cstdint>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/uio.h>
#include <vector>

// The system sockets library the network layer is built on, by the names and numbering
// of the Windows Sockets 1.1 interface, standing over POSIX sockets. The layer reaches
// every function through one table (`SocketLibrary`), which is also where tests put
// faults: a send that takes part of the bytes, a bind that fails.
namespace platform {

// A socket handle. Handles are never reused within a run, so a notification that was
// posted for a handle since closed can never be taken for one of a newer connection.
using SOCKET = std::uint64_t;
constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
constexpr int SOCKET_ERROR = -1;

// A pending asynchronous lookup; 0 is none.
using LookupHandle = std::uint32_t;

// Notification bits.
constexpr long FD_READ = 1;
constexpr long FD_WRITE = 2;
constexpr long FD_OOB = 4;
constexpr long FD_ACCEPT = 8;
constexpr long FD_CONNECT = 16;
constexpr long FD_CLOSE = 32;

// Option levels and names, and the receive-count query, in the library's numbering.
constexpr int WS_SOL_SOCKET = 0xFFFF;
constexpr int WS_SO_REUSEADDR = 0x0004;
constexpr int WS_SO_KEEPALIVE = 0x0008;
constexpr int WS_SO_LINGER = 0x0080;
constexpr long WS_FIONREAD = 0x4004667F;
constexpr int WS_MSG_OOB = 1;
constexpr int WS_SD_SEND = 1;

// The linger option: two 16-bit values.
struct WsLinger {
    std::uint16_t l_onoff;
    std::uint16_t l_linger;
};

// Posted to a notification window: readiness of a socket, with the event bits and an
// error number. Its type is the user message base plus 1.
class SocketMessage : public QEvent {
public:
    static constexpr QEvent::Type eventType = static_cast<QEvent::Type>(QEvent::User + 1);
    SocketMessage(SOCKET s, long events, int error)
        : QEvent(eventType), socket(s), events(events), error(error) {}
    const SOCKET socket;
    const long events;
    const int error;
};

// Posted to a notification window: a lookup has completed. Its type is the user
// message base plus 2. The addresses are IPv4, network byte order, as the system gave them.
class LookupMessage : public QEvent {
public:
    static constexpr QEvent::Type eventType = static_cast<QEvent::Type>(QEvent::User + 2);
    LookupMessage(LookupHandle request, int error, std::vector<std::uint32_t> addresses)
        : QEvent(eventType), request(request), error(error), addresses(std::move(addresses)) {}
    const LookupHandle request;
    const int error;
    const std::vector<std::uint32_t> addresses;
};

// The hidden window that notifications are posted to. Destroying it cancels every
// lookup still addressed to it, so a worker thread never posts to a window that is gone.
class NotifyWindow : public QObject {
    Q_OBJECT
public:
    explicit NotifyWindow(QObject* parent = nullptr);
    ~NotifyWindow() override;
};

// The table of library functions. The default implementation (`PosixSocketLibrary`)
// works over the system's sockets; tests derive from it to inject faults.
class SocketLibrary {
public:
    virtual ~SocketLibrary() = default;

    virtual int WSAStartup(std::uint16_t version) = 0;
    virtual int WSACleanup() = 0;
    virtual int WSAGetLastError() = 0;
    virtual void WSASetLastError(int error) = 0;
    // Asks for the given notifications of `s`, posted to `window`; a mask of 0 stops them.
    virtual int WSAAsyncSelect(SOCKET s, NotifyWindow* window, long events) = 0;
    // Starts resolving `name` in the background; the completion is posted to `window`.
    // Returns 0, with the last error set, when the lookup cannot start.
    virtual LookupHandle WSAAsyncGetHostByName(NotifyWindow* window, const std::string& name) = 0;
    // A cancelled lookup never completes.
    virtual int WSACancelAsyncRequest(LookupHandle request) = 0;

    virtual SOCKET socket(int af, int type, int protocol) = 0;
    virtual int bind(SOCKET s, const sockaddr_in& address) = 0;
    virtual int listen(SOCKET s, int backlog) = 0;
    virtual SOCKET accept(SOCKET s, sockaddr_in* address) = 0;
    virtual int connect(SOCKET s, const sockaddr_in& address) = 0;
    virtual int send(SOCKET s, const char* data, int count, int flags) = 0;
    // Gathered send of several pieces in one call, with the result and errors of `send`.
    virtual int sendGathered(SOCKET s, const iovec* pieces, int count, int flags) = 0;
    virtual int recv(SOCKET s, char* data, int count, int flags) = 0;
    virtual int shutdown(SOCKET s, int how) = 0;
    virtual int closesocket(SOCKET s) = 0;
    virtual int setsockopt(SOCKET s, int level, int name, const void* value, int length) = 0;
    virtual int ioctlsocket(SOCKET s, long command, unsigned long* argument) = 0;
    // The count of bytes waiting, asked right after the program's own receive: a library
    // that knows that receive emptied the buffer may answer without asking the system.
    virtual int waitingAfterReceive(SOCKET s, unsigned long* count) {
        return ioctlsocket(s, WS_FIONREAD, count);
    }
    virtual int getsockname(SOCKET s, sockaddr_in* address) = 0;
    // Whether the peer of a connection has already left it (hung up or reset), also while
    // bytes it sent before leaving still wait to be read.
    virtual bool peerHasLeft(SOCKET) { return false; }

    // Blocking lookup: the addresses of the host entry, or none with the last error set.
    virtual std::optional<std::vector<std::uint32_t>> gethostbyname(const std::string& name) = 0;
    // The service's port in network byte order; `protocol` may be null.
    virtual std::optional<std::uint16_t> getservbyname(const std::string& name,
                                                       const char* protocol) = 0;
    virtual std::optional<int> getprotobyname(const std::string& name) = 0;
    virtual std::uint32_t inet_addr(const std::string& text) = 0;
    virtual std::string inet_ntoa(std::uint32_t address) = 0;
    // htons and ntohs (the system headers reserve those names for macros).
    virtual std::uint16_t hostToNetwork16(std::uint16_t value) = 0;
    virtual std::uint16_t networkToHost16(std::uint16_t value) = 0;
};

} // namespace platform
