// The event-driven socket over real loopback connections: states, events and their
// order, error reports with their exact texts.

#include "net/EventSocket.h"
#include "net/SocketLibrary.h"
#include "platform/sockets/PosixSockets.h"
#include "platform/sockets/SocketLibraryLoader.h"
#include "tests/support/EventLoop.h"
#include "tests/support/KnownHosts.h"
#include "tests/support/QtMain.h"
#include "tests/support/RawPeer.h"

#include <QThread>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/Raised.h"
#include <memory>
#include <poll.h>
#include <string>
#include <vector>

using namespace net;
using ::testing::ElementsAre;
using testsupport::spin;
using testsupport::waitUntil;

namespace {

// Names are answered here, never by the machine's resolver.
testsupport::KnownHosts knownHosts;

// Records every event of a socket as a line, so tests can assert exact sequences.
struct EventLog {
    std::vector<std::string> lines;

    void watch(TCustomEventSocket& s, bool withDataHandler = true) {
        s.OnSessionConnected = [this](TCustomEventSocket* socket, std::uint16_t e) {
            lines.push_back("connected " + std::to_string(e) + " state " +
                            std::to_string(socket->State()));
        };
        s.OnSessionClosed = [this](TCustomEventSocket* socket, std::uint16_t e) {
            lines.push_back("closed " + std::to_string(e) + " state " +
                            std::to_string(socket->State()));
        };
        if (withDataHandler)
            s.OnDataAvailable = [this](TCustomEventSocket* socket, std::uint16_t e) {
                char buffer[4096];
                const int n = socket->Receive(buffer, sizeof buffer);
                lines.push_back("data " + std::to_string(e) + " " +
                                (n > 0 ? std::string(buffer, static_cast<std::size_t>(n))
                                       : "<" + std::to_string(n) + ">"));
            };
        s.OnDataSent = [this](TCustomEventSocket*, std::uint16_t e) {
            lines.push_back("sent " + std::to_string(e));
        };
    }
};

std::uint16_t listeningPort(TCustomEventSocket& listener) {
    sockaddr_in a{};
    socketLibrary().getsockname(listener.Handle(), &a);
    return ntohs(a.sin_port);
}

void listenOnLoopback(TCustomEventSocket& listener, const std::string& port = "0") {
    listener.SetAddr("127.0.0.1");
    listener.SetPort(port);
    listener.SetProto("tcp");
    listener.Listen();
}

void connectTo(TCustomEventSocket& s, std::uint16_t port) {
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(port));
    s.SetProto("tcp");
    s.Connect();
}

// A connected pair: `client` connected to `server`, which adopted the accepted handle.
struct Pair {
    TEventSocket listener;
    TEventSocket client;
    TEventSocket server;

    Pair() {
        listenOnLoopback(listener);
        listener.OnSessionAvailable = [this](TCustomEventSocket* s, std::uint16_t) {
            server.Dup(s->Accept());
        };
        connectTo(client, listeningPort(listener));
        EXPECT_TRUE(waitUntil(
            [&] { return client.State() == wsConnected && server.State() == wsConnected; }));
    }
};

} // namespace

TEST(EventSocket, startsClosedWithItsDefaults) {
    TEventSocket s;
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.Proto(), "tcp");
    EXPECT_EQ(s.LocalPort(), "0");
    EXPECT_EQ(s.LingerOnOff(), wsLingerOn);
    EXPECT_EQ(s.LingerTimeout(), 0);
    EXPECT_EQ(s.FlushTimeout(), 60);
    EXPECT_EQ(s.SendFlags(), wsSendNormal);
    EXPECT_EQ(s.ReadCount(), 0);
}

TEST(EventSocket, listenAcceptDupConnectAndExchangeBytes) {
    Pair p;
    EventLog log;
    log.watch(p.server);
    p.client.SendText("hello\r\n");
    ASSERT_TRUE(waitUntil([&] { return !log.lines.empty(); }));
    EXPECT_EQ(log.lines.front(), "data 0 hello\r\n");
    EXPECT_EQ(p.server.ReadCount(), 7);
    EXPECT_EQ(p.listener.State(), wsListening);
}

TEST(EventSocket, stateChangesOfAConnectAreReportedInOrder) {
    testsupport::RawListener peer;
    TEventSocket s;
    std::vector<std::pair<int, int>> changes;
    s.OnChangeState = [&](TCustomEventSocket*, TSocketState from, TSocketState to) {
        changes.emplace_back(from, to);
    };
    connectTo(s, peer.port());
    const int fd = peer.accept();
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(waitUntil([&] { return s.State() == wsConnected; }));
    s.Close();
    EXPECT_THAT(changes,
                ElementsAre(std::pair(wsClosed, wsOpened), std::pair(wsOpened, wsConnecting),
                            std::pair(wsConnecting, wsConnected),
                            std::pair(wsConnected, wsClosed)));
    testsupport::rawClose(fd);
}

TEST(EventSocket, refusedConnectReportsTheErrorThenClosesWithZero) {
    std::uint16_t freePort;
    {
        testsupport::RawListener gone;
        freePort = gone.port();
    }
    TEventSocket s;
    EventLog log;
    log.watch(s);
    connectTo(s, freePort);
    EXPECT_EQ(s.State(), wsConnecting); // never reported inside Connect
    EXPECT_TRUE(log.lines.empty());
    ASSERT_TRUE(waitUntil([&] { return log.lines.size() >= 2; }));
    spin(50);
    EXPECT_THAT(log.lines, ElementsAre("connected 10061 state 4", "closed 0 state 7"));
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(EventSocket, secondListenerOnAPortFailsWithAddressInUse) {
    TEventSocket first;
    listenOnLoopback(first);
    const std::string port = std::to_string(listeningPort(first));
    TEventSocket second;
    const std::string text = testsupport::raisedText([&] { listenOnLoopback(second, port); });
    EXPECT_EQ(text, "Error 10048 in function Bind\r\nAddress already in use");
    EXPECT_EQ(text.substr(0, 11), "Error 10048");
    EXPECT_EQ(second.State(), wsClosed);
    EXPECT_EQ(second.Handle(), platform::INVALID_SOCKET);
    EXPECT_EQ(first.State(), wsListening);
}

TEST(EventSocket, listeningAgainRightAfterASessionIsNotRefused) {
    std::string port;
    {
        Pair p;
        port = std::to_string(listeningPort(p.listener));
        // The listening side ends the session first, so its end of it lingers.
        p.server.SetLingerOnOff(wsLingerNoSet);
        p.server.Close();
        ASSERT_TRUE(waitUntil([&] { return p.client.State() == wsClosed; }));
    }
    TEventSocket again;
    EXPECT_EQ(testsupport::raisedText([&] { listenOnLoopback(again, port); }), "<nothing raised>");
    EXPECT_EQ(again.State(), wsListening);
}

TEST(EventSocket, dataFollowedAtOnceByThePeersCloseArrivesFirst) {
    testsupport::RawListener peer;
    TEventSocket s;
    EventLog log;
    log.watch(s);
    connectTo(s, peer.port());
    const int fd = peer.accept();
    ASSERT_TRUE(waitUntil([&] { return s.State() == wsConnected; }));
    log.lines.clear();
    testsupport::rawWrite(fd, "last words");
    testsupport::rawClose(fd);
    ASSERT_TRUE(waitUntil([&] { return s.State() == wsClosed; }));
    spin(30);
    ASSERT_GE(log.lines.size(), 3u);
    EXPECT_EQ(log.lines.front(), "data 0 last words");
    // The close notification reads once more (nothing waits: Receive gives 0), then closes.
    EXPECT_EQ(log.lines[log.lines.size() - 2], "data 0 <0>");
    EXPECT_EQ(log.lines.back(), "closed 0 state 4");
}

TEST(EventSocket, withoutADataHandlerBytesAreDroppedAndTheConnectionStays) {
    testsupport::RawListener peer;
    TEventSocket s;
    EventLog log;
    log.watch(s, false);
    connectTo(s, peer.port());
    const int fd = peer.accept();
    ASSERT_TRUE(waitUntil([&] { return s.State() == wsConnected; }));
    testsupport::rawWrite(fd, std::string(5000, 'x'));
    spin(100);
    EXPECT_EQ(s.State(), wsConnected);
    EXPECT_EQ(s.RcvdCount(), 0);
    s.SendText("still here");
    EXPECT_EQ(testsupport::rawRead(fd, 10), "still here");
    testsupport::rawClose(fd);
}

TEST(EventSocket, closeOfAClosedSocketDoesNothing) {
    TEventSocket s;
    EventLog log;
    log.watch(s);
    int changes = 0;
    s.OnChangeState = [&](TCustomEventSocket*, TSocketState, TSocketState) { ++changes; };
    s.Close();
    s.Close();
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(changes, 0);
}

TEST(EventSocket, closeReportsOnceAndResetsSettings) {
    Pair p;
    EventLog log;
    log.watch(p.client);
    p.client.Close();
    EXPECT_THAT(log.lines, ElementsAre("closed 0 state 7"));
    p.client.Close();
    spin(50);
    EXPECT_EQ(log.lines.size(), 1u);
    // Every close resets: Addr and Port must be given again.
    EXPECT_EQ(testsupport::raisedText([&] { p.client.Connect(); }), "Connect: No Port Specified");
    EXPECT_EQ(p.client.Addr(), "127.0.0.1"); // still readable
}

TEST(EventSocket, peerSeesTheEndWhenEitherSideCloses) {
    Pair p;
    EventLog serverLog;
    serverLog.watch(p.server);
    p.client.Close();
    ASSERT_TRUE(waitUntil([&] { return p.server.State() == wsClosed; }));
    EXPECT_EQ(serverLog.lines.back().substr(0, 7), "closed ");
}

TEST(EventSocket, destroyingAConnectedSocketFiresNoCloseEvent) {
    testsupport::RawListener peer;
    int closes = 0;
    {
        TEventSocket s;
        s.OnSessionClosed = [&](TCustomEventSocket*, std::uint16_t) { ++closes; };
        connectTo(s, peer.port());
        ASSERT_TRUE(waitUntil([&] { return s.State() == wsConnected; }));
    }
    const int fd = peer.accept();
    bool closed = false;
    testsupport::rawReadUntilClosed(fd, closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(closes, 0);
    testsupport::rawClose(fd);
}

TEST(EventSocket, settingsCannotChangeWhileConnected) {
    Pair p;
    const std::string port = p.client.Port();
    EXPECT_EQ(testsupport::raisedText([&] { p.client.SetPort(port); }), "<nothing raised>");
    EXPECT_EQ(testsupport::raisedText([&] { p.client.SetPort("1"); }),
              "Cannot change Port if not closed");
    EXPECT_EQ(p.client.Port(), port);
    EXPECT_EQ(testsupport::raisedText([&] { p.client.SetAddr("10.0.0.1"); }),
              "Cannot change Addr if not closed");
    EXPECT_EQ(testsupport::raisedText([&] { p.client.SetProto("udp"); }),
              "Cannot change Proto if not closed");
    EXPECT_EQ(testsupport::raisedText([&] { p.client.SetLocalPort("0"); }),
              "Cannot change LocalPort if not closed");
    EXPECT_EQ(testsupport::raisedText([&] { p.client.Connect(); }),
              "Connect: Socket already in use");
    // With an error handler the report goes there and the operation goes on.
    int errors = 0;
    p.client.OnError = [&](TCustomEventSocket*) { ++errors; };
    p.client.SetPort("1");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(p.client.Port(), port);
}

TEST(EventSocket, settingsAreTrimmedAndEmptyMeansUnassigned) {
    TEventSocket s;
    s.SetAddr("  127.0.0.1 ");
    EXPECT_EQ(s.Addr(), "127.0.0.1");
    s.SetPort("   ");
    EXPECT_EQ(testsupport::raisedText([&] { s.Connect(); }), "Connect: No Port Specified");
    s.SetPort("2200");
    s.SetAddr("");
    EXPECT_EQ(testsupport::raisedText([&] { s.Connect(); }), "Connect: No IP Address Specified");
    s.SetAddr("127.0.0.1");
    s.SetProto("");
    EXPECT_EQ(testsupport::raisedText([&] { s.Connect(); }), "Connect: No Protocol Specified");
    s.SetProto("nosuchproto");
    EXPECT_EQ(testsupport::raisedText([&] { s.Connect(); }),
              "connect: SocketResolveProto: Cannot convert protocol 'nosuchproto'");
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(EventSocket, listenReportsMissingSettingsWithInvalidArgument) {
    TEventSocket s;
    EXPECT_EQ(testsupport::raisedText([&] { s.Listen(); }),
              "Error 10022 in function listen: port not assigned\r\nInvalid argument");
    s.SetPort("0");
    EXPECT_EQ(testsupport::raisedText([&] { s.Listen(); }),
              "Error 10022 in function listen: address not assigned\r\nInvalid argument");
    s.SetAddr("300.1.1.1");
    EXPECT_EQ(testsupport::raisedText([&] { s.Listen(); }),
              "listen: SocketResolveHost: '300.1.1.1' Invalid IP address.");
    EXPECT_EQ(s.LastError(), 10022);
}

TEST(EventSocket, acceptAndDupRefuseBadCalls) {
    TEventSocket s;
    EXPECT_EQ(testsupport::raisedText([&] { s.Accept(); }),
              "Error 10022 in function not a listening socket\r\nInvalid argument");
    EXPECT_EQ(testsupport::raisedText([&] { s.Dup(platform::INVALID_SOCKET); }),
              "Error 10022 in function Dup\r\nInvalid argument");
    EXPECT_EQ(testsupport::raisedText([&] { s.Dup(0); }),
              "Error 10022 in function Dup\r\nInvalid argument");
    s.OnError = [](TCustomEventSocket*) {};
    EXPECT_EQ(s.Accept(), platform::INVALID_SOCKET);
}

TEST(EventSocket, sendFlagsAreCheckedBothWays) {
    TEventSocket s;
    EXPECT_EQ(testsupport::raisedText([&] { s.SetSendFlags(7); }), "Invalid SendFlags");
    s.SetSendFlags(wsSendUrgent);
    EXPECT_EQ(s.SendFlags(), wsSendUrgent);
}

TEST(EventSocket, dupOfAConnectedSocketReplacesItsConnectionQuietly) {
    Pair p;
    testsupport::RawListener other;
    const int otherClient = testsupport::rawConnect(other.port());
    ASSERT_GE(otherClient, 0);
    // Hand the server socket a second connection, accepted by our own listener.
    const int caller = testsupport::rawConnect(listeningPort(p.listener));
    int closes = 0;
    p.server.OnSessionClosed = [&](TCustomEventSocket*, std::uint16_t) { ++closes; };
    std::vector<std::pair<int, int>> changes;
    p.server.OnChangeState = [&](TCustomEventSocket*, TSocketState a, TSocketState b) {
        changes.emplace_back(a, b);
    };
    p.listener.OnSessionAvailable = [&](TCustomEventSocket* l, std::uint16_t) {
        p.server.Dup(l->Accept());
    };
    ASSERT_TRUE(waitUntil([&] { return changes.size() == 2; }));
    EXPECT_EQ(closes, 0);
    EXPECT_THAT(changes,
                ElementsAre(std::pair(wsConnected, wsClosed), std::pair(wsClosed, wsConnected)));
    // The first client's connection ended; the new caller is served.
    ASSERT_TRUE(waitUntil([&] { return p.client.State() == wsClosed; }));
    p.server.SendText("to the new caller");
    EXPECT_EQ(testsupport::rawRead(caller, 17), "to the new caller");
    p.server.OnChangeState = nullptr; // the log goes before the sockets do
    testsupport::rawClose(caller);
    testsupport::rawClose(otherClient);
}

TEST(EventSocket, anExceptionInTheDataHandlerIsDroppedAndTheConnectionStays) {
    Pair p;
    int calls = 0;
    p.server.OnDataAvailable = [&](TCustomEventSocket* s, std::uint16_t) {
        char buffer[64];
        s->Receive(buffer, sizeof buffer);
        ++calls;
        throw std::runtime_error("handler failed");
    };
    p.client.SendText("one");
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    p.client.SendText("two");
    ASSERT_TRUE(waitUntil([&] { return calls == 2; }));
    EXPECT_EQ(p.server.State(), wsConnected);
}

TEST(EventSocket, anExceptionInAnotherHandlerAbortsTheSocket) {
    testsupport::RawListener peer;
    TEventSocket s;
    std::vector<std::string> seen;
    s.OnSessionConnected = [&](TCustomEventSocket*, std::uint16_t) {
        seen.push_back("connected");
        throw std::runtime_error("boom");
    };
    s.OnSessionClosed = [&](TCustomEventSocket*, std::uint16_t e) {
        seen.push_back("closed " + std::to_string(e));
    };
    std::string reported;
    s.OnHandlerException = [&](TCustomEventSocket*, const std::exception& e, bool& canClose) {
        reported = e.what();
        EXPECT_TRUE(canClose);
    };
    connectTo(s, peer.port());
    ASSERT_TRUE(waitUntil([&] { return seen.size() == 2; }));
    EXPECT_THAT(seen, ElementsAre("connected", "closed 0"));
    EXPECT_EQ(reported, "boom");
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(EventSocket, aHandlerMayKeepTheSocketOpenAfterAnException) {
    Pair p;
    p.server.OnDataSent = [](TCustomEventSocket*, std::uint16_t) {
        throw std::runtime_error("sent handler failed");
    };
    p.server.OnHandlerException = [](TCustomEventSocket*, const std::exception&, bool& canClose) {
        canClose = false;
    };
    p.server.SendText("x");
    spin(50);
    EXPECT_EQ(p.server.State(), wsConnected);
}

TEST(EventSocket, dottedLookupCompletesBeforeItReturns) {
    TEventSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](TCustomEventSocket*, std::uint16_t e) { done.push_back(e); };
    s.DnsLookup("10.0.0.5");
    EXPECT_THAT(done, ElementsAre(0));
    EXPECT_EQ(s.DnsResult(), "10.0.0.5");
    EXPECT_TRUE(s.DnsResultList().empty());
}

TEST(EventSocket, emptyLookupNameIsReported) {
    TEventSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](TCustomEventSocket*, std::uint16_t e) { done.push_back(e); };
    EXPECT_EQ(testsupport::raisedText([&] { s.DnsLookup(""); }), "DNS lookup: invalid host name.");
    EXPECT_TRUE(done.empty());
    s.OnError = [](TCustomEventSocket*) {};
    s.DnsLookup("");
    EXPECT_THAT(done, ElementsAre(10022));
}

TEST(EventSocket, lookupByNameCompletesLaterThroughTheEventLoop) {
    TEventSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](TCustomEventSocket*, std::uint16_t e) { done.push_back(e); };
    s.DnsLookup("localhost");
    EXPECT_TRUE(done.empty());
    ASSERT_TRUE(waitUntil([&] { return !done.empty(); }));
    EXPECT_THAT(done, ElementsAre(0));
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    ASSERT_FALSE(s.DnsResultList().empty());
    EXPECT_EQ(s.DnsResultList().front(), "127.0.0.1");
}

TEST(EventSocket, unknownHostNameCompletesWithHostNotFound) {
    TEventSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](TCustomEventSocket*, std::uint16_t e) { done.push_back(e); };
    s.DnsLookup("example.invalid.");
    ASSERT_TRUE(waitUntil([&] { return !done.empty(); }));
    EXPECT_THAT(done, ElementsAre(11001));
    EXPECT_EQ(s.DnsResult(), "");
}

TEST(EventSocket, aSecondLookupReplacesThePendingOne) {
    TEventSocket s;
    std::vector<std::string> done;
    s.OnDnsLookupDone = [&](TCustomEventSocket* socket, std::uint16_t e) {
        done.push_back(std::to_string(e) + " " + socket->DnsResult());
    };
    s.DnsLookup("localhost");
    s.DnsLookup("127.0.0.2");
    EXPECT_THAT(done, ElementsAre("0 127.0.0.2"));
    spin(300);
    EXPECT_EQ(done.size(), 1u);
}

TEST(EventSocket, abortCancelsAPendingLookupWithInterrupted) {
    TEventSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](TCustomEventSocket*, std::uint16_t e) { done.push_back(e); };
    s.DnsLookup("localhost");
    s.Abort();
    EXPECT_THAT(done, ElementsAre(10004));
    spin(300);
    EXPECT_EQ(done.size(), 1u);
}

TEST(EventSocket, cancellingALookupWhoseAnswerIsAlreadyOnItsWaySucceeds) {
    TEventSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](TCustomEventSocket*, std::uint16_t e) { done.push_back(e); };
    const int answeredBefore = knownHosts.answered();
    s.DnsLookup("localhost");
    // The answer is found and posted while the event loop does not run.
    while (knownHosts.answered() == answeredBefore)
        QThread::yieldCurrentThread();
    s.Abort();
    EXPECT_THAT(done, ElementsAre(10004));
    spin(100);
    EXPECT_THAT(done, ElementsAre(10004)) << "a cancelled lookup never completes";
}

TEST(EventSocket, aLookupPendingWhileTheSocketAdoptsAConnectionStillCompletes) {
    TEventSocket listener;
    listenOnLoopback(listener);
    const int caller = testsupport::rawConnect(listeningPort(listener));
    ASSERT_GE(caller, 0);
    TEventSocket s;
    std::vector<std::string> done;
    s.OnDnsLookupDone = [&](TCustomEventSocket* socket, std::uint16_t e) {
        done.push_back(std::to_string(e) + " state " + std::to_string(socket->State()));
    };
    s.DnsLookup("localhost");
    // No turn of the event loop lies between the lookup's start and the adoption.
    s.Dup(listener.Accept());
    ASSERT_TRUE(s.DnsLookupPending());
    ASSERT_TRUE(waitUntil([&] { return !done.empty(); }));
    EXPECT_THAT(done, ElementsAre("0 state 4"));
    testsupport::rawClose(caller);
}

TEST(EventSocket, destroyingASocketWithAPendingLookupIsSafe) {
    for (int i = 0; i < 20; ++i) {
        auto s = std::make_unique<TEventSocket>();
        s->OnDnsLookupDone = [](TCustomEventSocket*, std::uint16_t) { FAIL() << "must not fire"; };
        s->DnsLookup("localhost");
        s.reset();
    }
    spin(300);
}

TEST(EventSocket, handlersMayCloseTheSocketInTheMiddleOfADispatch) {
    Pair p;
    int calls = 0;
    p.server.OnDataAvailable = [&](TCustomEventSocket* s, std::uint16_t) {
        ++calls;
        s->Close();
    };
    p.client.SendText(std::string(100000, 'z'));
    ASSERT_TRUE(waitUntil([&] { return p.server.State() == wsClosed; }));
    spin(50);
    EXPECT_EQ(calls, 1);
}

TEST(EventSocket, aDataHandlerClosingAtThePeersResetReportsTheCloseOnce) {
    testsupport::RawListener peer;
    TEventSocket s;
    int closes = 0;
    s.OnSessionClosed = [&](TCustomEventSocket*, std::uint16_t) { ++closes; };
    // Ends the session at the end of the stream, which after a reset only the close
    // notification's own read sees.
    s.OnDataAvailable = [](TCustomEventSocket* socket, std::uint16_t) {
        char buffer[64];
        if (socket->Receive(buffer, sizeof buffer) == 0) socket->Close();
    };
    connectTo(s, peer.port());
    const int fd = peer.accept();
    ASSERT_TRUE(waitUntil([&] { return s.State() == wsConnected; }));
    testsupport::rawReset(fd);
    ASSERT_TRUE(waitUntil([&] { return s.State() == wsClosed; }));
    spin(50);
    EXPECT_EQ(closes, 1);
}

// A caller waits in the listener's queue; a handler of the session's end takes it over.
TEST(EventSocket, aConnectionAdoptedInsideAnEndingEventStaysOpen) {
    enum class Ending { PeerCloses, OwnClose, RefusedConnect };
    for (Ending ending : {Ending::PeerCloses, Ending::OwnClose, Ending::RefusedConnect}) {
        SCOPED_TRACE(static_cast<int>(ending));
        Pair p;
        p.listener.OnSessionAvailable = nullptr;
        const int caller = testsupport::rawConnect(listeningPort(p.listener));
        ASSERT_GE(caller, 0);
        TEventSocket refused;
        TCustomEventSocket& s = ending == Ending::RefusedConnect ? refused : p.server;
        bool adopted = false;
        auto adopt = [&](TCustomEventSocket* socket, std::uint16_t) {
            if (adopted) return;
            adopted = true;
            socket->Dup(p.listener.Accept());
        };
        switch (ending) {
        case Ending::PeerCloses:
            s.OnSessionClosed = adopt;
            p.client.Close();
            break;
        case Ending::OwnClose:
            s.OnSessionClosed = adopt;
            s.Close();
            break;
        case Ending::RefusedConnect: {
            std::uint16_t freePort;
            {
                testsupport::RawListener gone;
                freePort = gone.port();
            }
            s.OnSessionConnected = adopt;
            connectTo(s, freePort);
            break;
        }
        }
        ASSERT_TRUE(waitUntil([&] { return adopted; }));
        spin(50);
        EXPECT_EQ(s.State(), wsConnected);
        if (s.State() == wsConnected) {
            s.SendText("welcome");
            EXPECT_EQ(testsupport::rawRead(caller, 7), "welcome");
        }
        testsupport::rawClose(caller);
    }
}

TEST(EventSocket, listenOnAListeningSocketIsRefusedAndKeepsItsListener) {
    TEventSocket s;
    listenOnLoopback(s);
    const platform::SOCKET handle = s.Handle();
    const std::uint16_t port = listeningPort(s);
    EXPECT_EQ(testsupport::raisedText([&] { s.Listen(); }), "Listen: Socket already in use");
    EXPECT_EQ(s.Handle(), handle);
    EXPECT_EQ(s.State(), wsListening);
    bool announced = false;
    s.OnSessionAvailable = [&](TCustomEventSocket*, std::uint16_t) { announced = true; };
    const int caller = testsupport::rawConnect(port);
    EXPECT_TRUE(waitUntil([&] { return announced; }));
    testsupport::rawClose(caller);
}

TEST(EventSocket, rcvdCountTellsTheBytesThatWait) {
    testsupport::RawListener peer;
    TEventSocket s;
    std::string received;
    s.OnDataAvailable = [&](TCustomEventSocket* socket, std::uint16_t) {
        char buffer[64];
        const int n = socket->Receive(buffer, sizeof buffer);
        if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    };
    connectTo(s, peer.port());
    const int fd = peer.accept();
    ASSERT_TRUE(waitUntil([&] { return s.State() == wsConnected; }));
    testsupport::rawWrite(fd, "abc");
    ASSERT_TRUE(waitUntil([&] { return received == "abc"; }));
    // More arrives while the event loop does not run: it waits in the system's buffer.
    testsupport::rawWrite(fd, "defg");
    pollfd ready{
        dynamic_cast<platform::PosixSocketLibrary&>(socketLibrary()).descriptorOf(s.Handle()),
        POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 5000), 1);
    EXPECT_EQ(s.RcvdCount(), 4);
    testsupport::rawClose(fd);
}

namespace {
// The system's library with notifications that can be refused.
class RefusingLibrary : public platform::PosixSocketLibrary {
public:
    int selectError = 0;
    int WSAAsyncSelect(platform::SOCKET s, platform::NotifyWindow* window, long events) override {
        if (selectError == 0) return PosixSocketLibrary::WSAAsyncSelect(s, window, events);
        WSASetLastError(selectError);
        return platform::SOCKET_ERROR;
    }
};
} // namespace

TEST(EventSocket, aFailedDupReleasesTheAdoptedConnection) {
    ASSERT_FALSE(socketLibraryLoaded());
    RefusingLibrary* library = nullptr;
    platform::setSocketLibraryLoader([&](const std::string&) {
        auto made = std::make_unique<RefusingLibrary>();
        library = made.get();
        return made;
    });
    struct LoaderReset {
        ~LoaderReset() { platform::setSocketLibraryLoader(nullptr); }
    } reset;
    TEventSocket listener;
    listenOnLoopback(listener);
    const int caller = testsupport::rawConnect(listeningPort(listener));
    const platform::SOCKET accepted = listener.Accept();
    ASSERT_NE(accepted, platform::INVALID_SOCKET);
    TEventSocket s;
    library->selectError = platform::WSAENOBUFS;
    EXPECT_EQ(testsupport::raisedText([&] { s.Dup(accepted); }).substr(0, 38),
              "Error 10055 in function WSAAsyncSelect");
    EXPECT_EQ(library->descriptorOf(accepted), -1);
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.Handle(), platform::INVALID_SOCKET);
    bool closed = false;
    testsupport::rawReadUntilClosed(caller, closed);
    EXPECT_TRUE(closed);
    testsupport::rawClose(caller);
}

FALAVOX_TEST_MAIN(QCoreApplication)
