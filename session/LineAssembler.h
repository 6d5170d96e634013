#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace net {
class TCustomEventSocket;
}

namespace session {

// Turns the bytes of the session socket into lines. The owner calls `receive` from the
// socket's data event; every complete line (the bytes before an LF, a CR kept) is handed
// to the line callback at once and in order. Bytes behind the last LF wait in the buffer
// for the next event; the buffer lives as long as the assembler, across sessions.
//
// The line handed on is a view that stays valid until the callback returns. The callback
// may run the program's nested event loop (the invitation dialog), and with it a further
// data event on this same assembler: each line is therefore counted as consumed and copied
// out of the buffer before it is handed on, and the buffer's state is read anew after
// every line.
class LineAssembler {
public:
    static constexpr std::size_t bufferSize = 1024;
    // One byte stays free for the terminating zero behind the data.
    static constexpr std::size_t capacity = bufferSize - 1;

    // Reads at most `size` bytes into `buffer`; returns the count, 0 or less for nothing.
    using ReadFunction = std::function<int(char* buffer, int size)>;
    using LineFunction = std::function<void(std::string_view line)>;

    explicit LineAssembler(LineFunction onLine);

    // One data event: a single read, then the complete lines, for as long as the turn's
    // budget lasts (at least one); the rest wait in the buffer (linesWaiting()) for
    // handOnWaiting() or the next event. A line of capacity bytes without an LF fills
    // the buffer; it is then handed on as one line, so that reading never stalls and no
    // byte is dropped, and its line end, when it comes, makes no further line. An error
    // thrown by the line callback ends the call; the lines still buffered are handed on
    // by the next one.
    void receive(const ReadFunction& read);
    void receive(net::TCustomEventSocket& socket);
    // Hands on lines already buffered, without reading: within the turn's budget, or all
    // of them (at most a buffer's worth) when `all`.
    void handOnWaiting(bool all = false);
    // A complete line waits in the buffer.
    bool linesWaiting() const;

    std::size_t pendingBytes() const { return fill_ - start_; }

private:
    void compact();
    void handOnCompleteLines(bool all);
    void handOn(std::size_t begin, std::size_t length);

    LineFunction onLine_;
    std::array<char, bufferSize> buffer_{};
    std::size_t start_ = 0; // first byte not yet handed on
    std::size_t fill_ = 0;  // end of the received bytes
    // The last line was cut off at the full buffer: the line end that follows it (a bare
    // LF, or CR LF when the cut fell just before the CR) closes that line and is no line
    // of its own.
    bool afterCut_ = false;
};

} // namespace session
