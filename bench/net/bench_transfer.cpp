// Throughput and round-trip latency of the event-driven socket against plain blocking
// POSIX sockets and against the toolkit's own TCP socket, measured in the same run. Each
// side runs in a process of its own, as two copies of the program would; the receiving (or
// answering) side times the work and reports it through a pipe.

#include "net/EventSocket.h"
#include "net/SocketLibrary.h"
#include "tests/support/RawPeer.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kBulkBytes = 256u * 1024 * 1024;
constexpr std::size_t kChunk = 64 * 1024;
constexpr int kLines = 20000;
constexpr std::size_t kLineBytes = 40;

using Clock = std::chrono::steady_clock;

std::map<std::string, double> bestSeconds;

void record(const std::string& name, double seconds) {
    auto it = bestSeconds.find(name);
    if (it == bestSeconds.end() || seconds < it->second) bestSeconds[name] = seconds;
}

// ----- plain blocking sockets -------------------------------------------------------------

bool writeAll(int fd, const char* data, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::send(fd, data, count, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool readAll(int fd, char* data, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::recv(fd, data, count, 0);
        if (n <= 0) return false;
        data += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

// ----- processes --------------------------------------------------------------------------

// The application object of one side of a transfer, made in that side's own process.
struct BenchApp {
    int argc = 1;
    char name[6] = "bench";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    int exec() { return QCoreApplication::exec(); }
};

// Runs `server` and `client` in two processes; the server learns nothing from the
// client but the port, and returns the seconds it measured.
template <class Server, class Client> double runPair(Server server, Client client) {
    int portPipe[2];
    int timePipe[2];
    if (::pipe(portPipe) != 0 || ::pipe(timePipe) != 0) return -1;
    const pid_t serverPid = ::fork();
    if (serverPid == 0) {
        const double seconds = server(portPipe[1]);
        ::write(timePipe[1], &seconds, sizeof seconds);
        ::_exit(0);
    }
    std::uint16_t port = 0;
    ::read(portPipe[0], &port, sizeof port);
    const pid_t clientPid = ::fork();
    if (clientPid == 0) {
        client(port);
        ::_exit(0);
    }
    double seconds = -1;
    ::read(timePipe[0], &seconds, sizeof seconds);
    ::waitpid(serverPid, nullptr, 0);
    ::waitpid(clientPid, nullptr, 0);
    for (int fd : {portPipe[0], portPipe[1], timePipe[0], timePipe[1]})
        ::close(fd);
    return seconds;
}

std::uint16_t listeningPort(net::TCustomEventSocket& s) {
    sockaddr_in a{};
    net::socketLibrary().getsockname(s.Handle(), &a);
    return ntohs(a.sin_port);
}

void listenOnLoopback(net::TEventSocket& s) {
    s.SetAddr("127.0.0.1");
    s.SetPort("0");
    s.SetProto("tcp");
    s.Listen();
}

void connectTo(net::TEventSocket& s, std::uint16_t port) {
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(port));
    s.SetProto("tcp");
    s.Connect();
}

// ----- bulk transfer ----------------------------------------------------------------------

double rawBulkServer(int portPipe) {
    testsupport::RawListener listener;
    const std::uint16_t port = listener.port();
    ::write(portPipe, &port, sizeof port);
    const int fd = listener.accept();
    std::vector<char> buffer(kChunk);
    std::size_t total = 0;
    const auto start = Clock::now();
    while (total < kBulkBytes) {
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) break;
        total += static_cast<std::size_t>(n);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(fd);
    return total == kBulkBytes ? seconds : -1;
}

void rawBulkClient(std::uint16_t port) {
    const int fd = testsupport::rawConnect(port);
    std::vector<char> chunk(kChunk, 'x');
    for (std::size_t sent = 0; sent < kBulkBytes; sent += kChunk)
        if (!writeAll(fd, chunk.data(), kChunk)) break;
    char end;
    ::recv(fd, &end, 1, 0); // wait for the server to finish
    ::close(fd);
}

double eventBulkServer(int portPipe) {
    BenchApp app;
    net::TEventSocket listener;
    net::TEventSocket session;
    std::vector<char> buffer(kChunk);
    std::size_t total = 0;
    Clock::time_point start;
    double seconds = -1;
    listener.OnSessionAvailable = [&](net::TCustomEventSocket* s, std::uint16_t) {
        start = Clock::now();
        session.Dup(s->Accept());
    };
    session.OnDataAvailable = [&](net::TCustomEventSocket* s, std::uint16_t) {
        const int n = s->Receive(buffer.data(), static_cast<int>(buffer.size()));
        if (n > 0) total += static_cast<std::size_t>(n);
        if (total >= kBulkBytes && seconds < 0) {
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            QCoreApplication::exit(0);
        }
    };
    session.OnSessionClosed = [](net::TCustomEventSocket*, std::uint16_t) {
        QCoreApplication::exit(1);
    };
    listenOnLoopback(listener);
    const std::uint16_t port = listeningPort(listener);
    ::write(portPipe, &port, sizeof port);
    app.exec();
    return seconds;
}

void eventBulkClient(std::uint16_t port) {
    BenchApp app;
    net::TEventSocket s;
    std::vector<char> chunk(kChunk, 'x');
    std::size_t sent = 0;
    // Keeps a few megabytes queued; the rest follows each time the queue has drained.
    auto refill = [&] {
        for (int i = 0; i < 64 && sent < kBulkBytes; ++i, sent += kChunk)
            s.Send(chunk.data(), static_cast<int>(kChunk));
    };
    s.OnSessionConnected = [&](net::TCustomEventSocket*, std::uint16_t error) {
        if (error != 0)
            QCoreApplication::exit(1);
        else
            refill();
    };
    s.OnDataSent = [&](net::TCustomEventSocket*, std::uint16_t) { refill(); };
    s.OnSessionClosed = [](net::TCustomEventSocket*, std::uint16_t) { QCoreApplication::exit(0); };
    connectTo(s, port);
    app.exec();
}

// ----- ping-pong of short lines -----------------------------------------------------------

double rawPingServer(int portPipe) {
    testsupport::RawListener listener;
    const std::uint16_t port = listener.port();
    ::write(portPipe, &port, sizeof port);
    const int fd = listener.accept();
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    char line[kLineBytes];
    std::memset(line, 'p', sizeof line);
    const auto start = Clock::now();
    for (int i = 0; i < kLines; ++i) {
        writeAll(fd, line, sizeof line);
        if (!readAll(fd, line, sizeof line)) return -1;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(fd);
    return seconds;
}

void rawPingClient(std::uint16_t port) {
    const int fd = testsupport::rawConnect(port);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    char line[kLineBytes];
    for (int i = 0; i < kLines; ++i) {
        if (!readAll(fd, line, sizeof line)) break;
        writeAll(fd, line, sizeof line);
    }
    ::close(fd);
}

// The same ping-pong over plain sockets, but waiting in poll() before each read as any
// event loop does: what waiting for readiness costs by itself.
bool pollThenRead(int fd, char* line) {
    std::size_t got = 0;
    while (got < kLineBytes) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, -1) != 1) return false;
        const ssize_t n = ::recv(fd, line + got, kLineBytes - got, MSG_DONTWAIT);
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

double pollPingServer(int portPipe) {
    testsupport::RawListener listener;
    const std::uint16_t port = listener.port();
    ::write(portPipe, &port, sizeof port);
    const int fd = listener.accept();
    char line[kLineBytes];
    std::memset(line, 'p', sizeof line);
    const auto start = Clock::now();
    for (int i = 0; i < kLines; ++i) {
        writeAll(fd, line, sizeof line);
        if (!pollThenRead(fd, line)) return -1;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(fd);
    return seconds;
}

void pollPingClient(std::uint16_t port) {
    const int fd = testsupport::rawConnect(port);
    char line[kLineBytes];
    for (int i = 0; i < kLines; ++i) {
        if (!pollThenRead(fd, line)) break;
        writeAll(fd, line, sizeof line);
    }
    ::close(fd);
}

// The same ping-pong on the toolkit's event loop with a bare socket notifier and no socket
// layer at all: what the event loop costs by itself.
double notifierPingServer(int portPipe) {
    testsupport::RawListener listener;
    const std::uint16_t port = listener.port();
    ::write(portPipe, &port, sizeof port);
    const int fd = listener.accept();
    BenchApp app;
    char line[kLineBytes];
    std::memset(line, 'p', sizeof line);
    std::size_t pending = 0;
    int rounds = 0;
    QSocketNotifier readable(fd, QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, [&] {
        char buffer[1024];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) {
            QCoreApplication::exit(1);
            return;
        }
        pending += static_cast<std::size_t>(n);
        while (pending >= kLineBytes) {
            pending -= kLineBytes;
            if (++rounds == kLines) {
                QCoreApplication::exit(0);
                return;
            }
            ::send(fd, line, sizeof line, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    });
    const auto start = Clock::now();
    ::send(fd, line, sizeof line, MSG_NOSIGNAL);
    const int result = app.exec();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(fd);
    return result == 0 ? seconds : -1;
}

void notifierPingClient(std::uint16_t port) {
    const int fd = testsupport::rawConnect(port);
    BenchApp app;
    std::size_t pending = 0;
    int answered = 0;
    QSocketNotifier readable(fd, QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, [&] {
        char buffer[1024];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) {
            QCoreApplication::exit(0);
            return;
        }
        pending += static_cast<std::size_t>(n);
        while (pending >= kLineBytes) {
            pending -= kLineBytes;
            ::send(fd, buffer, kLineBytes, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (++answered == kLines) QCoreApplication::exit(0);
        }
    });
    app.exec();
    ::close(fd);
}

// The side that starts each round and times them all.
double eventPingServer(int portPipe) {
    BenchApp app;
    net::TEventSocket listener;
    net::TEventSocket session;
    std::string line(kLineBytes - 2, 'p');
    line += "\r\n";
    std::size_t pending = 0;
    int rounds = 0;
    Clock::time_point start;
    double seconds = -1;
    char buffer[1024];
    listener.OnSessionAvailable = [&](net::TCustomEventSocket* s, std::uint16_t) {
        session.Dup(s->Accept());
        start = Clock::now();
        session.SendText(line);
    };
    session.OnDataAvailable = [&](net::TCustomEventSocket* s, std::uint16_t) {
        const int n = s->Receive(buffer, sizeof buffer);
        if (n <= 0) return;
        pending += static_cast<std::size_t>(n);
        while (pending >= kLineBytes) {
            pending -= kLineBytes;
            if (++rounds == kLines) {
                seconds = std::chrono::duration<double>(Clock::now() - start).count();
                QCoreApplication::exit(0);
                return;
            }
            session.SendText(line);
        }
    };
    listenOnLoopback(listener);
    const std::uint16_t port = listeningPort(listener);
    ::write(portPipe, &port, sizeof port);
    app.exec();
    return seconds;
}

void eventPingClient(std::uint16_t port) {
    BenchApp app;
    net::TEventSocket s;
    char buffer[1024];
    std::size_t pending = 0;
    int answered = 0;
    const std::string line(kLineBytes, 'q');
    s.OnDataAvailable = [&](net::TCustomEventSocket* socket, std::uint16_t) {
        const int n = socket->Receive(buffer, sizeof buffer);
        if (n <= 0) return;
        pending += static_cast<std::size_t>(n);
        while (pending >= kLineBytes) {
            pending -= kLineBytes;
            socket->SendText(line);
            if (++answered == kLines) QCoreApplication::exit(0);
        }
    };
    s.OnSessionClosed = [](net::TCustomEventSocket*, std::uint16_t) { QCoreApplication::exit(0); };
    connectTo(s, port);
    app.exec();
}

// ----- the toolkit's TCP socket ------------------------------------------------------------

// What a Qt program would pick for the same work, on the same event loop.
double qtBulkServer(int portPipe) {
    BenchApp app;
    QTcpServer listener;
    QTcpSocket* session = nullptr;
    std::vector<char> buffer(kChunk);
    std::size_t total = 0;
    Clock::time_point start;
    double seconds = -1;
    QObject::connect(&listener, &QTcpServer::newConnection, [&] {
        start = Clock::now();
        session = listener.nextPendingConnection();
        QObject::connect(session, &QTcpSocket::readyRead, [&] {
            for (;;) {
                const qint64 n = session->read(buffer.data(), static_cast<qint64>(buffer.size()));
                if (n <= 0) break;
                total += static_cast<std::size_t>(n);
            }
            if (total >= kBulkBytes && seconds < 0) {
                seconds = std::chrono::duration<double>(Clock::now() - start).count();
                QCoreApplication::exit(0);
            }
        });
        QObject::connect(session, &QTcpSocket::disconnected, [] { QCoreApplication::exit(1); });
    });
    listener.listen(QHostAddress::LocalHost, 0);
    const std::uint16_t port = listener.serverPort();
    ::write(portPipe, &port, sizeof port);
    app.exec();
    return seconds;
}

void qtBulkClient(std::uint16_t port) {
    BenchApp app;
    QTcpSocket s;
    std::vector<char> chunk(kChunk, 'x');
    std::size_t sent = 0;
    // Keeps a few megabytes buffered, as the event socket's client does.
    constexpr qint64 kBuffered = 64 * static_cast<qint64>(kChunk);
    auto refill = [&] {
        while (sent < kBulkBytes && s.bytesToWrite() < kBuffered) {
            s.write(chunk.data(), static_cast<qint64>(kChunk));
            sent += kChunk;
        }
    };
    QObject::connect(&s, &QTcpSocket::connected, refill);
    QObject::connect(&s, &QTcpSocket::bytesWritten, refill);
    QObject::connect(&s, &QTcpSocket::disconnected, [] { QCoreApplication::exit(0); });
    QObject::connect(&s, &QTcpSocket::errorOccurred, [] { QCoreApplication::exit(0); });
    s.connectToHost(QHostAddress::LocalHost, port);
    app.exec();
}

double qtPingServer(int portPipe) {
    BenchApp app;
    QTcpServer listener;
    QTcpSocket* session = nullptr;
    std::string line(kLineBytes - 2, 'p');
    line += "\r\n";
    std::size_t pending = 0;
    int rounds = 0;
    Clock::time_point start;
    double seconds = -1;
    char buffer[1024];
    QObject::connect(&listener, &QTcpServer::newConnection, [&] {
        session = listener.nextPendingConnection();
        session->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QObject::connect(session, &QTcpSocket::readyRead, [&] {
            const qint64 n = session->read(buffer, sizeof buffer);
            if (n <= 0) return;
            pending += static_cast<std::size_t>(n);
            while (pending >= kLineBytes) {
                pending -= kLineBytes;
                if (++rounds == kLines) {
                    seconds = std::chrono::duration<double>(Clock::now() - start).count();
                    QCoreApplication::exit(0);
                    return;
                }
                session->write(line.data(), static_cast<qint64>(line.size()));
            }
        });
        start = Clock::now();
        session->write(line.data(), static_cast<qint64>(line.size()));
    });
    listener.listen(QHostAddress::LocalHost, 0);
    const std::uint16_t port = listener.serverPort();
    ::write(portPipe, &port, sizeof port);
    app.exec();
    return seconds;
}

void qtPingClient(std::uint16_t port) {
    BenchApp app;
    QTcpSocket s;
    char buffer[1024];
    std::size_t pending = 0;
    int answered = 0;
    const std::string line(kLineBytes, 'q');
    QObject::connect(&s, &QTcpSocket::connected,
                     [&] { s.setSocketOption(QAbstractSocket::LowDelayOption, 1); });
    QObject::connect(&s, &QTcpSocket::readyRead, [&] {
        const qint64 n = s.read(buffer, sizeof buffer);
        if (n <= 0) return;
        pending += static_cast<std::size_t>(n);
        while (pending >= kLineBytes) {
            pending -= kLineBytes;
            s.write(line.data(), static_cast<qint64>(line.size()));
            if (++answered == kLines) {
                s.flush(); // the socket writes from the event loop, which ends here
                QCoreApplication::exit(0);
            }
        }
    });
    QObject::connect(&s, &QTcpSocket::disconnected, [] { QCoreApplication::exit(0); });
    s.connectToHost(QHostAddress::LocalHost, port);
    app.exec();
}

// ----- benchmarks -------------------------------------------------------------------------

// Each round runs the baseline and the event socket one right after the other, so that
// both meet the machine in the same state; the best round of each is compared.
template <class RawServer, class RawClient, class EventServer, class EventClient>
void alternated(benchmark::State& state, const char* rawName, const char* eventName,
                RawServer rawServer, RawClient rawClient, EventServer eventServer,
                EventClient eventClient, std::size_t bytes) {
    for (auto _ : state) {
        const double raw = runPair(rawServer, rawClient);
        const double event = runPair(eventServer, eventClient);
        if (raw <= 0 || event <= 0) {
            state.SkipWithError("transfer failed");
            return;
        }
        record(rawName, raw);
        record(eventName, event);
        state.SetIterationTime(event);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_BulkEventSocketVersusRaw(benchmark::State& state) {
    alternated(state, "bulk raw", "bulk event", rawBulkServer, rawBulkClient, eventBulkServer,
               eventBulkClient, kBulkBytes);
}
void BM_PingPongEventSocketVersusRaw(benchmark::State& state) {
    alternated(state, "ping raw", "ping event", rawPingServer, rawPingClient, eventPingServer,
               eventPingClient, kLines * kLineBytes * 2);
}
void BM_PingPongNotifierVersusRaw(benchmark::State& state) {
    alternated(state, "ping raw", "ping notifier", rawPingServer, rawPingClient, notifierPingServer,
               notifierPingClient, kLines * kLineBytes * 2);
}
void BM_PingPongPollVersusRaw(benchmark::State& state) {
    alternated(state, "ping raw", "ping poll", rawPingServer, rawPingClient, pollPingServer,
               pollPingClient, kLines * kLineBytes * 2);
}

void BM_BulkEventSocketVersusQt(benchmark::State& state) {
    alternated(state, "bulk qt", "bulk event", qtBulkServer, qtBulkClient, eventBulkServer,
               eventBulkClient, kBulkBytes);
}
void BM_PingPongEventSocketVersusQt(benchmark::State& state) {
    alternated(state, "ping qt", "ping event", qtPingServer, qtPingClient, eventPingServer,
               eventPingClient, kLines * kLineBytes * 2);
}

BENCHMARK(BM_BulkEventSocketVersusRaw)
    ->UseManualTime()
    ->Iterations(7)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PingPongEventSocketVersusRaw)
    ->UseManualTime()
    ->Iterations(7)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PingPongNotifierVersusRaw)
    ->UseManualTime()
    ->Iterations(7)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PingPongPollVersusRaw)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BulkEventSocketVersusQt)
    ->UseManualTime()
    ->Iterations(7)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PingPongEventSocketVersusQt)
    ->UseManualTime()
    ->Iterations(7)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // The program runs on the toolkit's own event loop rather than GLib's (see
    // app/main.cpp); the benchmark measures the same.
    setenv("QT_NO_GLIB", "1", 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Best runs compared, so a slow moment of the machine does not decide the ratio.
    auto ratio = [](const char* a, const char* b) {
        const auto x = bestSeconds.find(a);
        const auto y = bestSeconds.find(b);
        return x != bestSeconds.end() && y != bestSeconds.end() ? x->second / y->second : -1.0;
    };
    const double bulk = ratio("bulk raw", "bulk event");
    const double ping = ratio("ping event", "ping raw");
    std::printf("\nbulk transfer throughput, event socket / raw POSIX: %.2f (goal >= 0.80)\n",
                bulk);
    std::printf("ping-pong latency, event socket / raw POSIX:        %.2f (goal <= 1.30)\n", ping);
    std::printf("ping-pong raw round trip: %.1f us\n", bestSeconds["ping raw"] / kLines * 1e6);
    std::printf("for comparison, plain sockets waiting in poll() / raw POSIX: %.2f\n",
                ratio("ping poll", "ping raw"));
    std::printf("for comparison, a bare socket notifier on the event loop / raw POSIX: %.2f\n",
                ratio("ping notifier", "ping raw"));
    std::printf("bulk transfer throughput, event socket / QTcpSocket: %.2f\n",
                ratio("bulk qt", "bulk event"));
    std::printf("ping-pong latency, event socket / QTcpSocket:        %.2f\n",
                ratio("ping event", "ping qt"));
    return 0;
}
