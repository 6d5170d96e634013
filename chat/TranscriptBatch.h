#pragma once

#include "chat/TranscriptBound.h"
#include "chat/TranscriptEntry.h"

#include <deque>
#include <vector>

namespace chat {

// The received entries of one turn of the event loop, waiting to reach the transcript
// together: one edit, one trim of the oldest entries, one move of the caret. A burst of
// lines then costs the transcript's layout once instead of once a line.
//
// It holds only what the transcript would still hold once they are in: entries that the
// bound (TranscriptBound.h) would remove straight away are dropped as they come, so a
// burst of any length waits in bounded memory and is written in bounded time.
class TranscriptBatch {
public:
    explicit TranscriptBatch(int entries = transcriptEntries, int characters = transcriptCharacters)
        : maxEntries_(entries), maxCharacters_(characters) {}

    // Entries and the finishing of entries are gathered from `open` until `take`.
    bool isOpen() const { return open_; }
    void open() { open_ = true; }

    void add(std::vector<TextRun> runs);
    // An entry was finished: the caret goes to the end once the entries are in.
    void finish() { finishOwed_ = true; }

    struct Held {
        std::deque<std::vector<TextRun>> entries;
        bool finish = false;
    };
    // What was gathered, oldest first; the batch is closed and empty afterwards.
    Held take();

private:
    struct Entry {
        std::vector<TextRun> runs;
        qsizetype characters = 0;
    };
    int maxEntries_;
    int maxCharacters_;
    bool open_ = false;
    bool finishOwed_ = false;
    std::deque<Entry> entries_;
    qsizetype characters_ = 0;
};

} // namespace chat
