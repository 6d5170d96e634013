#include "chat/TranscriptBatch.h"

#include <utility>

namespace chat {

void TranscriptBatch::add(std::vector<TextRun> runs) {
    qsizetype characters = 0;
    for (const TextRun& run : runs)
        characters += run.text.size();
    entries_.push_back(Entry{std::move(runs), characters});
    characters_ += characters;
    // The same rule as trimTranscript: the newest entries within both bounds stay (the
    // document counts one character more, the empty block behind the last entry), and
    // the newest entry always does.
    while (entries_.size() > static_cast<std::size_t>(maxEntries_) ||
           (entries_.size() > 1 && characters_ + 1 > maxCharacters_)) {
        characters_ -= entries_.front().characters;
        entries_.pop_front();
    }
}

TranscriptBatch::Held TranscriptBatch::take() {
    Held held;
    for (Entry& entry : entries_)
        held.entries.push_back(std::move(entry.runs));
    held.finish = finishOwed_;
    entries_.clear();
    characters_ = 0;
    finishOwed_ = false;
    open_ = false;
    return held;
}

} // namespace chat
