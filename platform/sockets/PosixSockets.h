#pragma once

#include "platform/sockets/Winsock.h"

#include <QPointer>
#include <QSocketNotifier>
#include <memory>
#include <vector>

struct addrinfo;

namespace platform {

// The IPv4 addresses of a host lookup's answer, in the order given, each once.
std::vector<std::uint32_t> ipv4AddressesOf(const addrinfo* answer);

// The sockets library over POSIX sockets. Readiness reported by the event loop's socket
// notifiers is turned into notifications with the library's meanings: read while
// unread bytes wait (announced again after each receive), write once a connection can
// take data and again after a send the system refused for lack of room, accept while
// callers wait, connect once per connect request with its error, close once, when a
// receive finds the end of the stream or a broken connection. A notification is never
// delivered inside the call that caused it: those that arise inside a call are posted.
// A connection closed without an abortive linger ends in order: the system is told that
// nothing more will be sent, what the peer sent is read and dropped, and a connection on
// which anything was sent is released only once the peer hangs up (or after a bound), so
// that what it was sent last is never wiped out by a reset.
class PosixSocketLibrary : public SocketLibrary {
public:
    PosixSocketLibrary();
    ~PosixSocketLibrary() override;

    int WSAStartup(std::uint16_t version) override;
    int WSACleanup() override;
    int WSAGetLastError() override;
    void WSASetLastError(int error) override;
    int WSAAsyncSelect(SOCKET s, NotifyWindow* window, long events) override;
    LookupHandle WSAAsyncGetHostByName(NotifyWindow* window, const std::string& name) override;
    int WSACancelAsyncRequest(LookupHandle request) override;

    SOCKET socket(int af, int type, int protocol) override;
    int bind(SOCKET s, const sockaddr_in& address) override;
    int listen(SOCKET s, int backlog) override;
    SOCKET accept(SOCKET s, sockaddr_in* address) override;
    int connect(SOCKET s, const sockaddr_in& address) override;
    int send(SOCKET s, const char* data, int count, int flags) override;
    int sendGathered(SOCKET s, const iovec* pieces, int count, int flags) override;
    int recv(SOCKET s, char* data, int count, int flags) override;
    int shutdown(SOCKET s, int how) override;
    int closesocket(SOCKET s) override;
    int setsockopt(SOCKET s, int level, int name, const void* value, int length) override;
    int ioctlsocket(SOCKET s, long command, unsigned long* argument) override;
    int waitingAfterReceive(SOCKET s, unsigned long* count) override;
    int getsockname(SOCKET s, sockaddr_in* address) override;
    bool peerHasLeft(SOCKET s) override;

    std::optional<std::vector<std::uint32_t>> gethostbyname(const std::string& name) override;
    std::optional<std::uint16_t> getservbyname(const std::string& name,
                                               const char* protocol) override;
    std::optional<int> getprotobyname(const std::string& name) override;
    std::uint32_t inet_addr(const std::string& text) override;
    std::string inet_ntoa(std::uint32_t address) override;
    std::uint16_t hostToNetwork16(std::uint16_t value) override;
    std::uint16_t networkToHost16(std::uint16_t value) override;

    // The system descriptor behind a handle, or -1 (for tests that need to reach under
    // the library, e.g. to fill the send buffer).
    int descriptorOf(SOCKET s) const;

    // Posts a notification for `s` as the system would; tests use it to resume a
    // sending they held back.
    void postNotification(SOCKET s, long event, int error);

private:
    struct Entry {
        int fd = -1;
        SOCKET handle = INVALID_SOCKET;
        QPointer<NotifyWindow> window;
        long mask = 0;
        std::unique_ptr<QSocketNotifier> readNotifier;
        std::unique_ptr<QSocketNotifier> writeNotifier;
        bool listening = false;
        bool connecting = false;
        bool connected = false;
        bool closePosted = false;
        bool drained = false;  // the last receive emptied the system's buffer
        bool abortive = false; // linger on with no time: closing resets the connection
        bool sentAny = false;
    };
    // A connection closed by the program, waiting for its peer to hang up.
    struct Closing {
        int fd = -1;
        std::unique_ptr<QSocketNotifier> notifier;
    };

    Entry* find(SOCKET s) const;
    SOCKET adopt(int fd, bool connected);
    int fail(int errnoValue);
    void post(Entry& e, long event, int error);
    void deliver(Entry& e, long event, int error);
    void endOfStream(Entry& e, int error);
    void armRead(Entry& e);
    void armWrite(Entry& e);
    void onReadable(SOCKET s);
    void onWritable(SOCKET s);
    void ensureNotifiers(Entry& e);
    bool dropWaitingCaller(int listeningFd);
    void armReadLater(SOCKET s);
    void closeInOrder(int fd, bool waitForPeer);
    void finishClosing(int fd);

    std::vector<std::unique_ptr<Entry>> entries_; // indexed by descriptor
    std::uint32_t nextSerial_ = 1;
    // Held by a library that listens, to be let go for a moment when no descriptor is
    // left for a caller: that caller can then be accepted and turned away.
    int spareFd_ = -1;
    std::vector<std::unique_ptr<Closing>> closing_; // oldest first
};

// The system's sockets library, a `PosixSocketLibrary`, when `name` is "wsock32.dll";
// what the loader of SocketLibraryLoader.h hands out unless a test replaced it.
std::unique_ptr<SocketLibrary> loadSystemSocketLibrary(const std::string& name, int& error);

} // namespace platform
