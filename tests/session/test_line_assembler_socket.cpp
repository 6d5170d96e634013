#include "net/EventSocket.h"
#include "session/LineAssembler.h"
#include "tests/support/EventLoop.h"
#include "tests/support/QtMain.h"
#include "tests/support/RawPeer.h"

#include <numeric>
#include <string>
#include <vector>

using testsupport::waitUntil;

namespace {

// The session socket connected to a raw peer, its data event running line assembly the
// way the main form does.
struct Session {
    net::TEventSocket socket;
    testsupport::RawListener listener;
    int peer = -1;
    std::vector<std::string> lines;
    session::LineAssembler assembler{[this](std::string_view line) { lines.emplace_back(line); }};

    Session() {
        socket.OnDataAvailable = [this](net::TCustomEventSocket* sender, std::uint16_t) {
            assembler.receive(*sender);
        };
        socket.SetAddr("127.0.0.1");
        socket.SetPort(std::to_string(listener.port()));
        socket.SetProto("tcp");
        socket.Connect();
        peer = listener.accept();
    }
    ~Session() {
        if (peer >= 0) testsupport::rawClose(peer);
    }
    std::size_t received() const {
        return std::accumulate(lines.begin(), lines.end(), std::size_t{0},
                               [](std::size_t n, const std::string& l) { return n + l.size(); });
    }
};

} // namespace

TEST(LineAssemblerOverSocket, endlessLineDoesNotStallReception) {
    Session s;
    ASSERT_GE(s.peer, 0);
    ASSERT_TRUE(waitUntil([&] { return s.socket.State() == net::wsConnected; }));
    std::string flood(100 * 1024, 'x');
    for (std::size_t i = 0; i < flood.size(); i += 97)
        flood[i] = 'y';
    testsupport::rawWrite(s.peer, flood);
    testsupport::rawWrite(s.peer, "<bob>ainda aqui\r\n");
    ASSERT_TRUE(waitUntil(
        [&] { return !s.lines.empty() && s.lines.back().ends_with("<bob>ainda aqui\r"); }));
    // Every byte arrived once, in order; the long line came in full buffers.
    std::string joined;
    for (const auto& line : s.lines)
        joined += line;
    EXPECT_EQ(joined, flood + "<bob>ainda aqui\r");
    EXPECT_EQ(s.lines.front().size(), session::LineAssembler::capacity);
    EXPECT_EQ(s.assembler.pendingBytes(), 0u);
}

TEST(LineAssemblerOverSocket, linesOfOneWriteAndOfManySmallWrites) {
    Session s;
    ASSERT_TRUE(waitUntil([&] { return s.socket.State() == net::wsConnected; }));
    testsupport::rawWrite(s.peer, "<%$#ana>oi\r\nStatus> Green Ligth\r\n<ana>me");
    testsupport::rawWrite(s.peer, "io\r\n");
    ASSERT_TRUE(waitUntil([&] { return s.lines.size() == 3; }));
    EXPECT_EQ(s.lines,
              (std::vector<std::string>{"<%$#ana>oi\r", "Status> Green Ligth\r", "<ana>meio\r"}));
}

FALAVOX_TEST_MAIN(QApplication)
