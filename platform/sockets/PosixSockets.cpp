#include "platform/sockets/PosixSockets.h"

#include "platform/sockets/HostLookup.h"
#include "platform/sockets/SocketLibraryLoader.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

thread_local int tlsLastError = 0;

// How long a listener whose callers cannot be taken for want of resources rests before
// it tries again: long enough not to spin, short enough that callers are served soon.
constexpr int acceptRetryPauseMs = 100;

int openSpareDescriptor() {
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

// Failures of accept that leave the caller waiting in the queue, to be met again at once.
bool lackOfResources(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

// How long a connection the program has closed waits for its peer to hang up, and how
// many may wait at once: a peer that never hangs up holds a descriptor only so long, and
// callers that keep coming cannot use up the process's descriptors.
constexpr int closingBoundMs = 30000;
constexpr std::size_t mostClosing = 64;

// Reads and drops what the peer sent, at most a bounded amount per call; true once the
// peer has hung up or the connection broke.
bool drainEndReached(int fd) {
    char scratch[4096];
    for (int round = 0; round < 16; ++round) {
        const ssize_t n = ::recv(fd, scratch, sizeof scratch, MSG_DONTWAIT);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        return n == 0 || errno != EAGAIN;
    }
    return false;
}

int descriptorPart(SOCKET s) {
    return static_cast<int>(s & 0xFFFFFFFFu);
}

// Errors of a non-blocking connect that the library reports through the connect
// notification rather than from the call itself.
bool reportedLater(int error) {
    switch (error) {
    case ECONNREFUSED:
    case ETIMEDOUT:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EHOSTDOWN:
    case ECONNRESET:
        return true;
    default:
        return false;
    }
}

sockaddr_in toSystem(const sockaddr_in& address) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = address.sin_port;
    a.sin_addr = address.sin_addr;
    return a;
}

} // namespace

std::vector<std::uint32_t> ipv4AddressesOf(const addrinfo* answer) {
    std::vector<std::uint32_t> addresses;
    for (const addrinfo* a = answer; a; a = a->ai_next) {
        const std::uint32_t value =
            reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
        if (std::find(addresses.begin(), addresses.end(), value) == addresses.end())
            addresses.push_back(value);
    }
    return addresses;
}

PosixSocketLibrary::PosixSocketLibrary() = default;

PosixSocketLibrary::~PosixSocketLibrary() {
    for (auto& e : entries_)
        if (e) ::close(e->fd);
    for (auto& c : closing_) {
        c->notifier.reset();
        drainEndReached(c->fd);
        ::close(c->fd);
    }
    if (spareFd_ >= 0) ::close(spareFd_);
}

int PosixSocketLibrary::WSAStartup(std::uint16_t) {
    return 0;
}
int PosixSocketLibrary::WSACleanup() {
    return 0;
}
int PosixSocketLibrary::WSAGetLastError() {
    return tlsLastError;
}
void PosixSocketLibrary::WSASetLastError(int error) {
    tlsLastError = error;
}

int PosixSocketLibrary::fail(int errnoValue) {
    tlsLastError = winsockErrorFromErrno(errnoValue);
    return SOCKET_ERROR;
}

PosixSocketLibrary::Entry* PosixSocketLibrary::find(SOCKET s) const {
    const int fd = descriptorPart(s);
    if (s == INVALID_SOCKET || fd < 0 || static_cast<std::size_t>(fd) >= entries_.size())
        return nullptr;
    Entry* e = entries_[static_cast<std::size_t>(fd)].get();
    return e && e->handle == s ? e : nullptr;
}

int PosixSocketLibrary::descriptorOf(SOCKET s) const {
    const Entry* e = find(s);
    return e ? e->fd : -1;
}

SOCKET PosixSocketLibrary::adopt(int fd, bool connected) {
    if (static_cast<std::size_t>(fd) >= entries_.size())
        entries_.resize(static_cast<std::size_t>(fd) + 1);
    auto e = std::make_unique<Entry>();
    e->fd = fd;
    e->handle = (static_cast<SOCKET>(nextSerial_++) << 32) | static_cast<std::uint32_t>(fd);
    e->connected = connected;
    const SOCKET handle = e->handle;
    entries_[static_cast<std::size_t>(fd)] = std::move(e);
    return handle;
}

void PosixSocketLibrary::post(Entry& e, long event, int error) {
    if (e.window && (e.mask & event))
        QCoreApplication::postEvent(e.window.data(), new SocketMessage(e.handle, event, error));
}

// Readiness seen by the event loop is not inside any call of the program, so it is
// handed to the window at once rather than queued for one more turn of the loop.
void PosixSocketLibrary::deliver(Entry& e, long event, int error) {
    if (!e.window || !(e.mask & event)) return;
    SocketMessage message(e.handle, event, error);
    QCoreApplication::sendEvent(e.window.data(), &message);
}

void PosixSocketLibrary::postNotification(SOCKET s, long event, int error) {
    if (Entry* e = find(s)) post(*e, event, error);
}

void PosixSocketLibrary::ensureNotifiers(Entry& e) {
    if (e.readNotifier) return;
    const SOCKET handle = e.handle;
    e.readNotifier = std::make_unique<QSocketNotifier>(e.fd, QSocketNotifier::Read);
    e.readNotifier->setEnabled(false);
    QObject::connect(e.readNotifier.get(), &QSocketNotifier::activated, e.readNotifier.get(),
                     [this, handle] { onReadable(handle); });
    e.writeNotifier = std::make_unique<QSocketNotifier>(e.fd, QSocketNotifier::Write);
    e.writeNotifier->setEnabled(false);
    QObject::connect(e.writeNotifier.get(), &QSocketNotifier::activated, e.writeNotifier.get(),
                     [this, handle] { onWritable(handle); });
}

void PosixSocketLibrary::armRead(Entry& e) {
    if (e.readNotifier && !e.closePosted && (e.mask & (FD_READ | FD_ACCEPT | FD_CLOSE)))
        e.readNotifier->setEnabled(true);
}

void PosixSocketLibrary::armWrite(Entry& e) {
    if (e.writeNotifier && (e.mask & (FD_WRITE | FD_CONNECT))) e.writeNotifier->setEnabled(true);
}

void PosixSocketLibrary::onReadable(SOCKET s) {
    Entry* e = find(s);
    if (!e) return;
    e->drained = false;
    if (e->listening) {
        // Announced once until a caller is accepted.
        e->readNotifier->setEnabled(false);
        deliver(*e, FD_ACCEPT, 0); // accept() arms again
        return;
    }
    // The notifier stays armed: the receive that the notification leads to empties the
    // system's buffer, and bytes still waiting afterwards are announced again.
    // Bytes or the end of the stream wait; the receive that follows tells which, and
    // announces the end itself.
    deliver(*e, FD_READ, 0);
}

void PosixSocketLibrary::endOfStream(Entry& e, int error) {
    if (e.closePosted) return;
    e.closePosted = true;
    if (e.readNotifier) e.readNotifier->setEnabled(false); // the end stays readable for ever
    post(e, FD_CLOSE, error);
}

void PosixSocketLibrary::onWritable(SOCKET s) {
    Entry* e = find(s);
    if (!e) return;
    e->writeNotifier->setEnabled(false);
    if (!e->connecting) {
        deliver(*e, FD_WRITE, 0);
        return;
    }
    e->connecting = false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(e->fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) {
        deliver(*e, FD_CONNECT, winsockErrorFromErrno(error));
        return;
    }
    e->connected = true;
    deliver(*e, FD_CONNECT, 0);
    // The handler may have closed the socket.
    if ((e = find(s))) deliver(*e, FD_WRITE, 0);
    if ((e = find(s))) armRead(*e);
}

int PosixSocketLibrary::WSAAsyncSelect(SOCKET s, NotifyWindow* window, long events) {
    Entry* e = find(s);
    if (!e) return fail(ENOTSOCK);
    e->window = window;
    e->mask = window ? events : 0;
    if (e->mask == 0) {
        if (e->readNotifier) {
            e->readNotifier->setEnabled(false);
            e->writeNotifier->setEnabled(false);
        }
        return 0;
    }
    ensureNotifiers(*e);
    if (e->listening) {
        armRead(*e);
    } else if (e->connected) {
        // A connection taken over from elsewhere can take data at once.
        post(*e, FD_WRITE, 0);
        armRead(*e);
    } else if (e->connecting) {
        armWrite(*e);
    }
    return 0;
}

SOCKET PosixSocketLibrary::socket(int af, int type, int protocol) {
    if (af != AF_INET) return fail(EAFNOSUPPORT), INVALID_SOCKET;
    if (type != SOCK_STREAM) return fail(ESOCKTNOSUPPORT), INVALID_SOCKET;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd < 0) return fail(errno), INVALID_SOCKET;
    return adopt(fd, false);
}

int PosixSocketLibrary::bind(SOCKET s, const sockaddr_in& address) {
    Entry* e = find(s);
    if (!e) return fail(ENOTSOCK);
    // The library's bind lets a port be taken again while old connections of it linger
    // in TIME_WAIT, yet refuses a second listener: that is what address reuse does here.
    const int on = 1;
    ::setsockopt(e->fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in a = toSystem(address);
    if (::bind(e->fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) return fail(errno);
    return 0;
}

int PosixSocketLibrary::listen(SOCKET s, int backlog) {
    Entry* e = find(s);
    if (!e) return fail(ENOTSOCK);
    if (::listen(e->fd, backlog) != 0) return fail(errno);
    if (spareFd_ < 0) spareFd_ = openSpareDescriptor();
    e->listening = true;
    armRead(*e);
    return 0;
}

SOCKET PosixSocketLibrary::accept(SOCKET s, sockaddr_in* address) {
    Entry* e = find(s);
    if (!e) return fail(ENOTSOCK), INVALID_SOCKET;
    sockaddr_in a{};
    socklen_t length = sizeof a;
    int fd;
    do {
        fd = ::accept4(e->fd, reinterpret_cast<sockaddr*>(&a), &length,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    const int error = errno;
    if (fd < 0 && lackOfResources(error)) {
        // The caller stays queued and the listener readable. Without a descriptor for it,
        // it is taken on the spare one and turned away; otherwise the listener rests a
        // moment, so that it neither spins on the same failure nor forgets its callers.
        const bool dropped = (error == EMFILE || error == ENFILE) && dropWaitingCaller(e->fd);
        if (dropped)
            armRead(*e);
        else
            armReadLater(s);
        return fail(error), INVALID_SOCKET;
    }
    armRead(*e); // further callers are announced again
    if (fd < 0) return fail(error), INVALID_SOCKET;
    if (address) *address = a;
    return adopt(fd, true);
}

bool PosixSocketLibrary::dropWaitingCaller(int listeningFd) {
    if (spareFd_ < 0) spareFd_ = openSpareDescriptor();
    if (spareFd_ < 0) return false;
    ::close(spareFd_);
    const int caller = ::accept4(listeningFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (caller >= 0) ::close(caller);
    spareFd_ = openSpareDescriptor();
    return caller >= 0;
}

void PosixSocketLibrary::armReadLater(SOCKET s) {
    Entry* e = find(s);
    if (!e || !e->readNotifier) return;
    // The notifier is the timer's context: a listener closed meanwhile takes the timer along.
    QTimer::singleShot(acceptRetryPauseMs, e->readNotifier.get(), [this, s] {
        if (Entry* again = find(s)) armRead(*again);
    });
}

int PosixSocketLibrary::connect(SOCKET s, const sockaddr_in& address) {
    Entry* e = find(s);
    if (!e) return fail(ENOTSOCK);
    const sockaddr_in a = toSystem(address);
    int result;
    do {
        result = ::connect(e->fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        e->connected = true;
        post(*e, FD_CONNECT, 0);
        post(*e, FD_WRITE, 0);
        armRead(*e);
        return 0;
    }
    const int error = errno;
    if (error == EINPROGRESS) {
        e->connecting = true;
        armWrite(*e);
        return fail(error);
    }
    if (reportedLater(error)) {
        post(*e, FD_CONNECT, winsockErrorFromErrno(error));
        return fail(EINPROGRESS);
    }
    return fail(error);
}

int PosixSocketLibrary::send(SOCKET s, const char* data, int count, int flags) {
    const iovec piece{const_cast<char*>(data), static_cast<std::size_t>(count < 0 ? 0 : count)};
    return sendGathered(s, &piece, 1, flags);
}

int PosixSocketLibrary::sendGathered(SOCKET s, const iovec* pieces, int count, int flags) {
    Entry* e = find(s);
    if (!e) return fail(ENOTSOCK);
    msghdr message{};
    message.msg_iov = const_cast<iovec*>(pieces);
    message.msg_iovlen = static_cast<std::size_t>(count);
    const int systemFlags = MSG_NOSIGNAL | MSG_DONTWAIT | ((flags & WS_MSG_OOB) ? MSG_OOB : 0);
    ssize_t sent;
    do {
        sent = ::sendmsg(e->fd, &message, systemFlags);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        const int error = errno;
        if (error == EAGAIN) armWrite(*e);
        return fail(error);
    }
    std::size_t offered = 0;
    for (int i = 0; i < count; ++i)
        offered += pieces[i].iov_len;
    if (sent > 0) e->sentAny = true;
    // What the system did not take goes out when it announces room again.
    if (static_cast<std::size_t>(sent) < offered) armWrite(*e);
    return static_cast<int>(sent);
}

int PosixSocketLibrary::recv(SOCKET s, char* data, int count, int flags) {
    Entry* e = find(s);
    if (!e) return fail(ENOTSOCK);
    const int systemFlags = MSG_DONTWAIT | ((flags & WS_MSG_OOB) ? MSG_OOB : 0);
    ssize_t received;
    do {
        received =
            ::recv(e->fd, data, static_cast<std::size_t>(count < 0 ? 0 : count), systemFlags);
    } while (received < 0 && errno == EINTR);
    const int error = errno;
    if (received == 0 && count > 0) {
        endOfStream(*e, 0);
        return 0;
    }
    if (received < 0 && error != EAGAIN) {
        endOfStream(*e, winsockErrorFromErrno(error));
        return fail(error);
    }
    armRead(*e); // bytes still waiting, or the end of the stream, are announced again
    if (received < 0) return fail(error);
    // A receive that did not fill the caller's buffer emptied the system's: until the
    // event loop sees more, nothing waits, and the count of waiting bytes need not ask.
    e->drained = received < count;
    return static_cast<int>(received);
}

int PosixSocketLibrary::shutdown(SOCKET s, int how) {
    Entry* e = find(s);
    if (!e) return fail(ENOTSOCK);
    const int systemHow = how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR;
    if (::shutdown(e->fd, systemHow) != 0) return fail(errno);
    return 0;
}

int PosixSocketLibrary::closesocket(SOCKET s) {
    Entry* e = find(s);
    if (!e) return fail(ENOTSOCK);
    const int fd = e->fd;
    const bool inOrder = e->connected && !e->abortive;
    const bool waitForPeer = e->sentAny && !e->closePosted;
    // The notifiers go before the descriptor. One of them may be the very notifier whose
    // signal is running right now, so they are left to the event loop to delete.
    for (auto* notifier : {e->readNotifier.release(), e->writeNotifier.release()}) {
        if (notifier) {
            notifier->setEnabled(false);
            QObject::disconnect(notifier, nullptr, nullptr, nullptr);
            notifier->deleteLater();
        }
    }
    entries_[static_cast<std::size_t>(fd)].reset();
    if (inOrder) {
        closeInOrder(fd, waitForPeer);
        return 0;
    }
    if (::close(fd) != 0 && errno != EINTR) return fail(errno);
    return 0;
}

// Bytes the peer sent that were never read make the system answer the close with a
// reset, and so does a peer that sends after the descriptor is gone; a reset can wipe
// out what the peer has not read yet. So the end is announced, the peer's bytes are
// read, and the descriptor stays until the peer has hung up.
void PosixSocketLibrary::closeInOrder(int fd, bool waitForPeer) {
    ::shutdown(fd, SHUT_WR);
    if (drainEndReached(fd) || !waitForPeer) {
        ::close(fd);
        return;
    }
    if (closing_.size() >= mostClosing) finishClosing(closing_.front()->fd);
    auto closing = std::make_unique<Closing>();
    closing->fd = fd;
    closing->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QSocketNotifier* notifier = closing->notifier.get();
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this, fd] {
        if (drainEndReached(fd)) finishClosing(fd);
    });
    // The notifier is the timer's context: a connection finished earlier takes it along.
    QTimer::singleShot(closingBoundMs, notifier, [this, fd] { finishClosing(fd); });
    closing_.push_back(std::move(closing));
}

void PosixSocketLibrary::finishClosing(int fd) {
    const auto it =
        std::find_if(closing_.begin(), closing_.end(), [fd](const auto& c) { return c->fd == fd; });
    if (it == closing_.end()) return;
    // The notifier may be the one whose signal runs right now: the event loop deletes it.
    QSocketNotifier* notifier = (*it)->notifier.release();
    notifier->setEnabled(false);
    QObject::disconnect(notifier, nullptr, nullptr, nullptr);
    notifier->deleteLater();
    closing_.erase(it);
    drainEndReached(fd);
    ::close(fd);
}

int PosixSocketLibrary::setsockopt(SOCKET s, int level, int name, const void* value, int length) {
    Entry* e = find(s);
    if (!e) return fail(ENOTSOCK);
    if (level != WS_SOL_SOCKET || !value) return fail(value ? ENOPROTOOPT : EFAULT);
    if (name == WS_SO_LINGER) {
        if (length < static_cast<int>(sizeof(WsLinger))) return fail(EFAULT);
        WsLinger l;
        std::memcpy(&l, value, sizeof l);
        const linger systemLinger{l.l_onoff != 0 ? 1 : 0, l.l_linger};
        if (::setsockopt(e->fd, SOL_SOCKET, SO_LINGER, &systemLinger, sizeof systemLinger) != 0)
            return fail(errno);
        e->abortive = l.l_onoff != 0 && l.l_linger == 0;
        return 0;
    }
    if (name != WS_SO_REUSEADDR && name != WS_SO_KEEPALIVE) return fail(ENOPROTOOPT);
    if (length < 4) return fail(EFAULT);
    std::uint32_t raw;
    std::memcpy(&raw, value, sizeof raw);
    const int on = raw != 0 ? 1 : 0;
    const int systemName = name == WS_SO_REUSEADDR ? SO_REUSEADDR : SO_KEEPALIVE;
    if (::setsockopt(e->fd, SOL_SOCKET, systemName, &on, sizeof on) != 0) return fail(errno);
    return 0;
}

int PosixSocketLibrary::ioctlsocket(SOCKET s, long command, unsigned long* argument) {
    Entry* e = find(s);
    if (!e) return fail(ENOTSOCK);
    if (command != WS_FIONREAD || !argument) return fail(EINVAL);
    int waiting = 0;
    if (::ioctl(e->fd, FIONREAD, &waiting) != 0) return fail(errno);
    *argument = static_cast<unsigned long>(waiting);
    return 0;
}

int PosixSocketLibrary::waitingAfterReceive(SOCKET s, unsigned long* count) {
    const Entry* e = find(s);
    if (e && e->drained && count) {
        *count = 0;
        return 0;
    }
    return ioctlsocket(s, WS_FIONREAD, count);
}

int PosixSocketLibrary::getsockname(SOCKET s, sockaddr_in* address) {
    Entry* e = find(s);
    if (!e) return fail(ENOTSOCK);
    sockaddr_in a{};
    socklen_t length = sizeof a;
    if (::getsockname(e->fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) return fail(errno);
    if (address) *address = a;
    return 0;
}

bool PosixSocketLibrary::peerHasLeft(SOCKET s) {
    const Entry* e = find(s);
    if (!e) return true;
    if (!e->connected) return false;
    // The receive queue is handed out before the end of the stream or a reset is, so a
    // line can be read from a connection that is already gone; the state tells.
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(e->fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return false;
    return info.tcpi_state != TCP_ESTABLISHED;
}

std::optional<std::vector<std::uint32_t>>
PosixSocketLibrary::gethostbyname(const std::string& name) {
    HostLookupResult found = lookupHost(name);
    if (found.error != 0) {
        tlsLastError = found.error;
        return std::nullopt;
    }
    return std::move(found.addresses);
}

std::optional<std::uint16_t> PosixSocketLibrary::getservbyname(const std::string& name,
                                                               const char* protocol) {
    servent entry{};
    servent* found = nullptr;
    char buffer[4096];
    if (::getservbyname_r(name.c_str(), protocol, &entry, buffer, sizeof buffer, &found) != 0 ||
        !found) {
        tlsLastError = WSANO_DATA;
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(found->s_port);
}

std::optional<int> PosixSocketLibrary::getprotobyname(const std::string& name) {
    protoent entry{};
    protoent* found = nullptr;
    char buffer[4096];
    if (::getprotobyname_r(name.c_str(), &entry, buffer, sizeof buffer, &found) == 0 && found)
        return found->p_proto;
    // A system without a protocols file still knows the protocols every stack has.
    static const struct {
        const char* name;
        int number;
    } builtIn[] = {{"ip", 0}, {"icmp", 1}, {"tcp", 6}, {"udp", 17}};
    for (const auto& p : builtIn)
        if (strcasecmp(p.name, name.c_str()) == 0) return p.number;
    tlsLastError = WSANO_DATA;
    return std::nullopt;
}

std::uint32_t PosixSocketLibrary::inet_addr(const std::string& text) {
    return ::inet_addr(text.c_str());
}

std::string PosixSocketLibrary::inet_ntoa(std::uint32_t address) {
    in_addr a{};
    a.s_addr = address;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

std::uint16_t PosixSocketLibrary::hostToNetwork16(std::uint16_t value) {
    return htons(value);
}
std::uint16_t PosixSocketLibrary::networkToHost16(std::uint16_t value) {
    return ntohs(value);
}

std::unique_ptr<SocketLibrary> loadSystemSocketLibrary(const std::string& name, int& error) {
    // Library names compare without regard to case, as file names do where it came from.
    if (strcasecmp(name.c_str(), systemSocketLibraryName) != 0) {
        error = 126; // the module was not found
        return nullptr;
    }
    error = 0;
    return std::make_unique<PosixSocketLibrary>();
}

} // namespace platform
