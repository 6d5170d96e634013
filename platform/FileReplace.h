#pragma once

#include <QString>
#include <functional>
#include <string_view>

// The one way the program rewrites a file it keeps (the settings store, the window
// placement INI): a crash or a full disk never leaves half a file behind.
namespace platform {

enum class ReplaceStep { Write, Sync, Rename };

// Asked before each step; a non-zero errno value makes that step fail as if the system
// had. Tests use it to interrupt a rewrite at every step.
using ReplaceFault = std::function<int(ReplaceStep)>;

// Replaces the file at `path` with exactly `bytes`: they go to a temporary file beside
// it, which is flushed to disk and renamed over the old one, and the folder is flushed so
// that the rename lasts. The old file's permissions are kept. Makes the folder when
// missing. On failure the old file is untouched, no temporary file is left, errno says
// why, and the result is false.
bool replaceFile(const QString& path, std::string_view bytes, const ReplaceFault& fault = {});

} // namespace platform
