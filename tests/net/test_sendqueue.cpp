// The send queue: blocks, partial sends, fatal send errors and the data-sent event,
// with faults put into the sockets library.

#include "net/Buffer.h"
#include "net/EventSocket.h"
#include "net/SocketLibrary.h"
#include "platform/sockets/PosixSockets.h"
#include "platform/sockets/SocketLibraryLoader.h"
#include "tests/support/EventLoop.h"
#include "tests/support/QtMain.h"
#include "tests/support/RawPeer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace net;
using ::testing::ElementsAre;
using testsupport::spin;
using testsupport::waitUntil;

namespace {

// The system's library with a send that can be held back or cut short.
class FaultyLibrary : public platform::PosixSocketLibrary {
public:
    static inline FaultyLibrary* current = nullptr;
    FaultyLibrary() { current = this; }
    ~FaultyLibrary() override { current = nullptr; }

    // -1: take everything; 0: take nothing (would block); n: at most n bytes a call.
    int sendLimit = -1;
    // When set, every send fails with this error.
    int sendError = 0;
    int sendCalls = 0;
    int startups = 0;
    static inline int cleanups = 0;

    int WSAStartup(std::uint16_t version) override {
        ++startups;
        return PosixSocketLibrary::WSAStartup(version);
    }
    int WSACleanup() override {
        ++cleanups;
        return PosixSocketLibrary::WSACleanup();
    }

    int sendGathered(platform::SOCKET s, const iovec* pieces, int count, int flags) override {
        ++sendCalls;
        if (sendError != 0) {
            WSASetLastError(sendError);
            return platform::SOCKET_ERROR;
        }
        if (sendLimit == 0) {
            WSASetLastError(platform::WSAEWOULDBLOCK);
            return platform::SOCKET_ERROR;
        }
        if (sendLimit < 0) return PosixSocketLibrary::sendGathered(s, pieces, count, flags);
        iovec first = pieces[0];
        first.iov_len = std::min<std::size_t>(first.iov_len, static_cast<std::size_t>(sendLimit));
        const int sent = PosixSocketLibrary::sendGathered(s, &first, 1, flags);
        // The rest waits for the announcement of room, as after any short send.
        if (sent >= 0 && (count > 1 || first.iov_len < pieces[0].iov_len))
            postNotification(s, platform::FD_WRITE, 0);
        return sent;
    }
};

class SendQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(socketLibraryLoaded()) << "a socket outlived its test";
        platform::setSocketLibraryLoader(
            [](const std::string&) { return std::make_unique<FaultyLibrary>(); });
    }
    void TearDown() override { platform::setSocketLibraryLoader(nullptr); }
};

// A socket connected to a raw peer, with its events counted.
struct Connected {
    testsupport::RawListener listener;
    TEventSocket socket;
    int peer = -1;
    std::vector<std::string> events;
    bool insideSend = false;

    Connected() {
        socket.OnDataSent = [this](TCustomEventSocket*, std::uint16_t e) {
            EXPECT_FALSE(insideSend) << "data-sent event fired inside Send";
            events.push_back("sent " + std::to_string(e));
        };
        socket.OnSessionClosed = [this](TCustomEventSocket* s, std::uint16_t e) {
            events.push_back("closed " + std::to_string(e) + " state " +
                             std::to_string(s->State()));
        };
        socket.SetAddr("127.0.0.1");
        socket.SetPort(std::to_string(listener.port()));
        socket.SetProto("tcp");
        socket.Connect();
        peer = listener.accept();
        EXPECT_TRUE(waitUntil([&] { return socket.State() == wsConnected; }));
        spin(20); // the write notification of the new connection
        events.clear();
    }
    ~Connected() { testsupport::rawClose(peer); }

    int send(const std::string& bytes) {
        struct Inside {
            bool& flag;
            ~Inside() { flag = false; }
        } inside{insideSend = true};
        return socket.SendText(bytes);
    }
    FaultyLibrary& library() { return *FaultyLibrary::current; }
    void resumeSending() {
        library().sendLimit = -1;
        library().postNotification(socket.Handle(), platform::FD_WRITE, 0);
    }
    std::vector<int> blockFills() const {
        std::vector<int> fills;
        for (std::size_t i = 0; i < socket.SendBuffer().blockCount(); ++i) {
            int count = 0;
            socket.SendBuffer().block(i).PeekData(count);
            fills.push_back(count);
        }
        return fills;
    }
};

// Reads from the raw peer while the event loop keeps the socket under test going.
std::string readSpinning(int fd, std::size_t count, int timeoutMs = 10000) {
    std::string received;
    waitUntil(
        [&] {
            received += testsupport::rawRead(fd, count - received.size(), 1);
            return received.size() >= count;
        },
        timeoutMs);
    return received;
}

std::string pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return s;
}

} // namespace

TEST(TBuffer, appendPeekAndConsumeKeepTheirInvariant) {
    TBuffer b(10);
    EXPECT_EQ(b.Capacity(), 10);
    EXPECT_EQ(TBuffer(0).Capacity(), 1514);
    EXPECT_EQ(TBuffer(-3).Capacity(), 1514);
    EXPECT_EQ(b.Append("abcdefgh", 8), 8);
    EXPECT_EQ(b.Append("xyz", 3), 2); // only what fits
    EXPECT_EQ(b.Append("q", 1), 0);   // full
    int count = 0;
    const char* data = b.PeekData(count);
    ASSERT_EQ(count, 10);
    EXPECT_EQ(std::string(data, 10), "abcdefghxy");
    EXPECT_EQ(b.Consume(4), 4);
    data = b.PeekData(count);
    EXPECT_EQ(std::string(data, static_cast<std::size_t>(count)), "efghxy");
    EXPECT_EQ(b.Consume(100), 6);
    // Emptied: both offsets return to the start and the whole capacity is free again.
    EXPECT_EQ(b.FillCount(), 0);
    EXPECT_EQ(b.ReadOffset(), 0);
    EXPECT_EQ(b.PeekData(count), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(b.Consume(1), 0);
    EXPECT_EQ(b.Append("0123456789", 10), 10);
}

TEST_F(SendQueueTest, aSendThatTakesNothingLeavesBlocksOf1514) {
    Connected c;
    c.library().sendLimit = 0;
    const std::string bytes = pattern(4000);
    EXPECT_EQ(c.send(bytes), 4000);
    EXPECT_THAT(c.blockFills(), ElementsAre(1514, 1514, 972));
    spin(30);
    EXPECT_TRUE(c.events.empty());
    c.resumeSending();
    EXPECT_EQ(readSpinning(c.peer, 4000), bytes);
    ASSERT_TRUE(waitUntil([&] { return !c.events.empty(); }));
    EXPECT_THAT(c.events, ElementsAre("sent 0"));
    // Sent blocks are freed; the last one stays for reuse.
    EXPECT_THAT(c.blockFills(), ElementsAre(0));
}

TEST_F(SendQueueTest, bytesArriveInCallOrderWhateverTheSystemTakesEachTime) {
    for (int limit : {1, 10, 1000, -1}) {
        Connected c;
        c.library().sendLimit = limit;
        std::string expected;
        for (int i = 0; i < 30; ++i) {
            const std::string piece =
                std::to_string(i) + ":" + pattern(static_cast<std::size_t>(i * 97 % 2000));
            expected += piece;
            EXPECT_EQ(c.send(piece), static_cast<int>(piece.size()));
        }
        // Let it drain through write notifications, a few bytes at a time.
        EXPECT_EQ(readSpinning(c.peer, expected.size(), 20000), expected) << "limit " << limit;
    }
}

TEST_F(SendQueueTest, moreThanTheSystemBufferHoldsGoesOutWholeAndInOrder) {
    Connected c;
    const std::string bytes = pattern(6 * 1024 * 1024);
    EXPECT_EQ(c.send(bytes), static_cast<int>(bytes.size()));
    EXPECT_GT(c.socket.SendBuffer().blockCount(), 1u); // the system could not take it all
    EXPECT_EQ(readSpinning(c.peer, bytes.size(), 30000), bytes);
    ASSERT_TRUE(waitUntil([&] { return !c.events.empty(); }));
    EXPECT_THAT(c.events, ElementsAre("sent 0"));
}

TEST_F(SendQueueTest, dataSentFiresAfterSendReturnsNeverInsideIt) {
    Connected c;
    EXPECT_EQ(c.send("complete"), 8);
    EXPECT_TRUE(c.events.empty());
    ASSERT_TRUE(waitUntil([&] { return !c.events.empty(); }));
    EXPECT_THAT(c.events, ElementsAre("sent 0"));
    EXPECT_EQ(readSpinning(c.peer, 8), "complete");
}

TEST_F(SendQueueTest, sendOfNothingStillPushesWhatIsQueued) {
    Connected c;
    EXPECT_EQ(c.send(""), 0);                   // empty text
    EXPECT_EQ(c.socket.Send("ignored", -5), 0); // a negative count is nothing
    c.library().sendLimit = 0;
    c.send("held back");
    c.library().sendLimit = -1;
    c.events.clear();
    EXPECT_EQ(c.send(""), 0);
    EXPECT_EQ(readSpinning(c.peer, 9), "held back");
    ASSERT_TRUE(waitUntil([&] { return !c.events.empty(); }));
    EXPECT_EQ(c.events.front(), "sent 0");
}

TEST_F(SendQueueTest, aResetWhileBytesAreQueuedClosesWith10054) {
    Connected c;
    c.library().sendLimit = 0;
    c.send(pattern(3000));
    c.library().sendLimit = -1;
    c.library().sendError = platform::WSAECONNRESET;
    c.resumeSending();
    c.library().sendError = platform::WSAECONNRESET;
    ASSERT_TRUE(waitUntil([&] { return !c.events.empty(); }));
    spin(30);
    EXPECT_THAT(c.events, ElementsAre("closed 10054 state 7"));
    EXPECT_EQ(c.socket.State(), wsClosed);
}

TEST_F(SendQueueTest, aPeerThatResetsMakesTheNextSendCloseTheSocket) {
    Connected c;
    c.socket.OnDataAvailable = [](TCustomEventSocket* s, std::uint16_t) {
        char b[64];
        s->Receive(b, sizeof b);
    };
    testsupport::rawReset(c.peer);
    c.peer = -1;
    // Whichever notices first, the close notification or a send, the socket ends closed
    // and the close is reported exactly once; the process is not killed by the broken pipe.
    for (int i = 0; i < 50 && c.socket.State() == wsConnected; ++i) {
        c.send(pattern(1000));
        spin(5);
    }
    ASSERT_TRUE(waitUntil([&] { return c.socket.State() == wsClosed; }));
    spin(30);
    ASSERT_EQ(c.events.size(), 1u);
    EXPECT_THAT(c.events.front(), ::testing::StartsWith("closed "));
}

TEST_F(SendQueueTest, otherSendErrorsAreReportedAndKeepTheBytes) {
    Connected c;
    c.library().sendError = platform::WSAENOBUFS;
    try {
        c.send("kept");
        FAIL() << "no report";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(),
                     "Error 10055 in function TryToSend failed\r\nNo buffer space available");
    }
    EXPECT_THAT(c.blockFills(), ElementsAre(4));
    c.library().sendError = 0;
    c.resumeSending();
    EXPECT_EQ(readSpinning(c.peer, 4), "kept");
}

TEST_F(SendQueueTest, sendOnAClosedSocketIsReported) {
    TEventSocket s;
    try {
        s.SendText("x");
        FAIL() << "no report";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "Error 10057 in function Send\r\nSocket is not connected");
    }
    int errors = 0;
    s.OnError = [&](TCustomEventSocket*) { ++errors; };
    EXPECT_EQ(s.SendText("x"), -1);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.LastError(), 10057);
}

TEST_F(SendQueueTest, theLibraryIsReleasedWithTheLastSocketAndLoadedAgain) {
    const int cleanupsBefore = FaultyLibrary::cleanups;
    {
        TEventSocket a;
        TEventSocket b;
        a.DnsLookup("127.0.0.1"); // first use loads
        ASSERT_TRUE(socketLibraryLoaded());
        EXPECT_EQ(FaultyLibrary::current->startups, 1);
    }
    EXPECT_FALSE(socketLibraryLoaded());
    EXPECT_EQ(FaultyLibrary::cleanups, cleanupsBefore + 1);
    Connected c; // a new socket loads and starts it again, and works
    EXPECT_EQ(c.library().startups, 1);
    c.send("again");
    EXPECT_EQ(readSpinning(c.peer, 5), "again");
}

TEST_F(SendQueueTest, aLibraryThatCannotBeLoadedIsReportedByName) {
    platform::setSocketLibraryLoader([](const std::string&) { return nullptr; });
    TEventSocket s;
    s.SetAddr("127.0.0.1");
    s.SetPort("1");
    try {
        s.Connect();
        FAIL() << "no report";
    } catch (const ESocketException& e) {
        // The first call that needs the library is the protocol lookup of Connect.
        EXPECT_STREQ(e.what(), "connect: Unable to load wsock32.dll Error #126");
    }
}

FALAVOX_TEST_MAIN(QCoreApplication)
