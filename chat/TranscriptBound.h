#pragma once

class QTextDocument;

// How much of a session the transcript keeps. A chat partner can send without end, and
// everything shown stays in memory for as long as the window lives; so the oldest
// entries go once either bound is passed.
namespace chat {

// Entries: hours of an ordinary chat, far more than anyone scrolls back through.
inline constexpr int transcriptEntries = 2000;
// Characters: a received line is at most about a thousand bytes long (longer ones arrive
// cut), so this still keeps the last few hundred entries when every line is that long,
// while the window's memory stays within a few megabytes.
inline constexpr int transcriptCharacters = 256 * 1024;

// Removes whole entries from the start of `transcript` until it holds at most
// `entries` entries and `characters` characters; the newest entry always stays.
void trimTranscript(QTextDocument& transcript, int entries = transcriptEntries,
                    int characters = transcriptCharacters);

} // namespace chat
