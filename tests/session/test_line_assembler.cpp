#include "session/LineAssembler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

using session::LineAssembler;

namespace {

// A peer whose bytes come out in chunks of at most `chunk` bytes per read.
struct ChunkedSource {
    std::string data;
    std::size_t chunk;
    std::size_t at = 0;
    int reads = 0;
    int operator()(char* buffer, int size) {
        ++reads;
        const std::size_t n = std::min({data.size() - at, chunk, static_cast<std::size_t>(size)});
        std::memcpy(buffer, data.data() + at, n);
        at += n;
        return static_cast<int>(n);
    }
    bool done() const { return at == data.size(); }
};

std::vector<std::string> assemble(const std::string& bytes, std::size_t chunk) {
    std::vector<std::string> lines;
    LineAssembler assembler([&](std::string_view line) { lines.emplace_back(line); });
    ChunkedSource source{bytes, chunk};
    while (!source.done())
        assembler.receive(std::ref(source));
    return lines;
}

} // namespace

TEST(LineAssembler, twoLinesInOneReadArriveInOrder) {
    std::vector<std::string> lines;
    LineAssembler assembler([&](std::string_view line) { lines.emplace_back(line); });
    ChunkedSource source{"<ana>um\r\nStatus> Green Ligth\r\n", 1024};
    assembler.receive(std::ref(source));
    EXPECT_EQ(source.reads, 1);
    EXPECT_EQ(lines, (std::vector<std::string>{"<ana>um\r", "Status> Green Ligth\r"}));
    EXPECT_EQ(assembler.pendingBytes(), 0u);
}

TEST(LineAssembler, sameLinesWhateverTheChunking) {
    const std::string bytes = "<ana>primeira\r\n\r\n\n<bob>x\r\nStatus> fim\r\n";
    const std::vector<std::string> expected{"<ana>primeira\r", "\r", "", "<bob>x\r",
                                            "Status> fim\r"};
    for (std::size_t chunk : {1u, 2u, 10u, 1023u}) {
        SCOPED_TRACE(chunk);
        EXPECT_EQ(assemble(bytes, chunk), expected);
    }
}

TEST(LineAssembler, lineSplitByteByByteIsHandedOnceWhenItsLfArrives) {
    int calls = 0;
    std::string got;
    LineAssembler assembler([&](std::string_view line) {
        ++calls;
        got = line;
    });
    ChunkedSource source{"<ana>devagar\r\n", 1};
    while (!source.done()) {
        EXPECT_EQ(calls, 0);
        assembler.receive(std::ref(source));
    }
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(got, "<ana>devagar\r");
}

TEST(LineAssembler, bytesAfterTheLastLfWaitForMoreData) {
    std::vector<std::string> lines;
    LineAssembler assembler([&](std::string_view line) { lines.emplace_back(line); });
    ChunkedSource first{"<a>1\r\n<a>2\r\n<a>par", 1024};
    assembler.receive(std::ref(first));
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_EQ(assembler.pendingBytes(), 6u);
    // A read that yields nothing changes nothing.
    assembler.receive([](char*, int) { return 0; });
    assembler.receive([](char*, int) { return -1; });
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_EQ(assembler.pendingBytes(), 6u);
    ChunkedSource second{"cial\r\n", 1024};
    assembler.receive(std::ref(second));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "<a>parcial\r");
}

TEST(LineAssembler, readNeverAsksForMoreThanTheFreeRoom) {
    LineAssembler assembler([](std::string_view) {});
    std::vector<int> asked;
    std::string data(1000, 'x');
    std::size_t at = 0;
    auto read = [&](char* buffer, int size) {
        asked.push_back(size);
        const std::size_t n = std::min(static_cast<std::size_t>(size), data.size() - at);
        std::memcpy(buffer, data.data() + at, n);
        at += n;
        return static_cast<int>(n);
    };
    assembler.receive(read);
    data += "\n" + std::string(30, 'y');
    assembler.receive(read);
    EXPECT_EQ(asked, (std::vector<int>{1023, 23}));
}

TEST(LineAssembler, overlongLineIsPassedOnInFullBuffersAndNothingIsLost) {
    std::string bytes(5000, 'z');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>('a' + i % 26);
    bytes += "\r\n<ana>depois\r\n";
    for (std::size_t chunk : {1u, 700u, 4096u}) {
        SCOPED_TRACE(chunk);
        const auto lines = assemble(bytes, chunk);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.back(), "<ana>depois\r");
        std::string joined;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            EXPECT_LE(lines[i].size(), LineAssembler::capacity);
            joined += lines[i];
        }
        EXPECT_EQ(joined, bytes.substr(0, 5001));
        EXPECT_EQ(lines[0].size(), LineAssembler::capacity);
    }
}

// A line cut off at the full buffer is handed on at once; the line end that follows
// (LF, or CR LF when the cut fell before the CR) only closes it and is no line of its own.
TEST(LineAssembler, lineEndAfterAFullBufferIsNoExtraLine) {
    const std::string text(LineAssembler::capacity - 1, 'x');
    const std::string exact(LineAssembler::capacity, 'y');
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"crIsTheLastByte", text + "\r\n<a>b\r\n", {text + "\r", "<a>b\r"}},
        {"crLfAfterTheLastByte", exact + "\r\n<a>b\r\n", {exact, "<a>b\r"}},
        {"lfAfterTheLastByte", exact + "\n\n", {exact, ""}},
    };
    for (const Case& c : cases) {
        for (std::size_t chunk : {1u, 1023u, 4096u}) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(chunk));
            EXPECT_EQ(assemble(c.bytes, chunk), c.lines);
        }
    }
}

TEST(LineAssembler, errorInTheLineCallbackKeepsLaterLines) {
    std::vector<std::string> lines;
    bool fail = true;
    LineAssembler assembler([&](std::string_view line) {
        if (fail && line == "<a>2\r") {
            fail = false;
            throw std::runtime_error("handler failed");
        }
        lines.emplace_back(line);
    });
    ChunkedSource source{"<a>1\r\n<a>2\r\n<a>3\r\n", 1024};
    EXPECT_THROW(assembler.receive(std::ref(source)), std::runtime_error);
    EXPECT_EQ(lines, (std::vector<std::string>{"<a>1\r"}));
    assembler.receive([](char*, int) { return 0; });
    EXPECT_EQ(lines, (std::vector<std::string>{"<a>1\r", "<a>3\r"}));
}

TEST(LineAssembler, nestedEventDuringALineNeitherRepeatsNorLosesLines) {
    // The invitation dialog runs an event loop inside the line callback, in which the next
    // data event reaches the same assembler.
    std::vector<std::string> lines;
    ChunkedSource source{"<%$#ana>oi\r\n<a>2\r\n<a>3\r\n<a>4\r\n", 12};
    LineAssembler* self = nullptr;
    LineAssembler assembler([&](std::string_view line) {
        lines.emplace_back(line);
        if (line == "<%$#ana>oi\r") self->receive(std::ref(source));
    });
    self = &assembler;
    while (!source.done())
        assembler.receive(std::ref(source));
    EXPECT_EQ(lines, (std::vector<std::string>{"<%$#ana>oi\r", "<a>2\r", "<a>3\r", "<a>4\r"}));
}

TEST(LineAssembler, nestedEventWhileTheLastLineOfAFullBufferIsHandled) {
    // The nested event must find room to read (the socket goes on announcing data until
    // somebody reads it) and must not overwrite the line still being handled.
    const std::string invitation = "<%$#ana>oi\r\n";
    std::string first = std::string(LineAssembler::capacity - invitation.size() - 2, 'a') + "\r\n";
    first += invitation;
    ASSERT_EQ(first.size(), LineAssembler::capacity);
    ChunkedSource source{first + "<a>depois\r\n", 1023};
    std::vector<std::string> lines;
    int nestedReads = 0;
    LineAssembler* self = nullptr;
    LineAssembler assembler([&](std::string_view line) {
        lines.emplace_back(line);
        if (line == "<%$#ana>oi\r") {
            const int before = source.reads;
            self->receive(std::ref(source));
            nestedReads = source.reads - before;
            EXPECT_EQ(line, "<%$#ana>oi\r");
        }
    });
    self = &assembler;
    assembler.receive(std::ref(source));
    EXPECT_EQ(nestedReads, 1);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "<%$#ana>oi\r");
    EXPECT_EQ(lines[2], "<a>depois\r");
    EXPECT_TRUE(source.done());
}
