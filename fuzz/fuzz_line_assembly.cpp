// Received bytes, cut into arbitrary reads, assembled into lines and classified. The lines
// must not depend on how the bytes were cut, nor on a line handler that runs a nested data
// event (as the invitation dialog does); no line is longer than the buffer or holds an LF.
#include "session/LineAssembler.h"
#include "session/LineClassifier.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using session::LineAssembler;

struct Source {
    std::string bytes;
    std::vector<std::size_t> chunks; // read sizes, repeated
    std::size_t at = 0;
    std::size_t nextChunk = 0;

    int read(char* buffer, int size) {
        std::size_t n = chunks.empty() ? bytes.size() : chunks[nextChunk++ % chunks.size()];
        n = std::min({n, bytes.size() - at, static_cast<std::size_t>(size)});
        std::memcpy(buffer, bytes.data() + at, n);
        at += n;
        return static_cast<int>(n);
    }
    bool done() const { return at == bytes.size(); }
};

void check(bool condition) {
    if (!condition) std::abort();
}

std::vector<std::string> assemble(Source source, bool nested) {
    std::vector<std::string> lines;
    LineAssembler* self = nullptr;
    int depth = 0;
    session::ClassifiedLine classified;
    LineAssembler assembler([&](std::string_view line) {
        check(line.size() <= LineAssembler::capacity);
        check(line.find('\n') == std::string_view::npos);
        lines.emplace_back(line);
        session::classifyLine(line, classified);
        check(classified.name().size() <= line.size());
        check(classified.text().size() <= line.size());
        check(!(classified.kind == session::LineKind::Invitation && classified.close));
        // An invitation runs the dialog's event loop, in which the next data event comes.
        if (nested && classified.kind == session::LineKind::Invitation && depth < 3) {
            ++depth;
            self->receive([&](char* b, int n) { return source.read(b, n); });
            --depth;
        }
    });
    self = &assembler;
    // A peer that sends nothing more still gets its reads; give up only when a read
    // brings nothing and nothing is left.
    for (int idle = 0; !source.done() || idle < 2;) {
        const std::size_t before = source.at;
        assembler.receive([&](char* b, int n) { return source.read(b, n); });
        idle = source.at == before ? idle + 1 : 0;
    }
    check(assembler.pendingBytes() < LineAssembler::capacity);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    Source chunked;
    const std::size_t chunkCount = provider.ConsumeIntegralInRange<std::size_t>(0, 8);
    for (std::size_t i = 0; i < chunkCount; ++i)
        chunked.chunks.push_back(provider.ConsumeIntegralInRange<std::size_t>(1, 1100));
    const bool nested = provider.ConsumeBool();
    chunked.bytes = provider.ConsumeRemainingBytesAsString();

    Source whole;
    whole.bytes = chunked.bytes;
    check(assemble(chunked, nested) == assemble(whole, false));
    return 0;
}
