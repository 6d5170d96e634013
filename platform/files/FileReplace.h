#pragma once

#include <QString>
#include <functional>
#include <string_view>

// The one way the program rewrites a file it keeps (the settings store, the window
// placement INI): a crash, a killed process or a full disk never leaves half a file.
namespace platform {

enum class ReplaceStep { Write, Sync, Rename, SyncFolder };

// Test seam, asked before each step: an errno value makes that step fail as the system
// would have failed it; replaceKilled stops the writer dead there, as a killed process
// would (a write stops half-way), and nothing that would have followed, clean-up
// included, runs.
using ReplaceFault = std::function<int(ReplaceStep)>;
inline constexpr int replaceKilled = -1;

// Replaces the file at `path` with exactly `bytes`: they go to a temporary file beside
// it named after this process, which is flushed to disk and renamed over the old one,
// and the folder is flushed so that the rename lasts. The old file's permissions are
// kept; the folder is made when missing. Temporary files that a writer which is gone
// left behind are removed first. On failure the old file is untouched, errno says why,
// and the result is false.
bool replaceFile(const QString& path, std::string_view bytes, const ReplaceFault& fault = {});

// Removes the temporary files beside `path` that a writer which is gone (this process
// included) left behind; those of a writer still at work stay. Readers of a kept file
// call it too, so that a killed save leaves nothing behind for longer than until the
// file is next used.
void removeStaleTemporaries(const QString& path);

} // namespace platform
