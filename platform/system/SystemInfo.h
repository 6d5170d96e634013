#pragma once

#include <QString>
#include <cstddef>
#include <string>

// What the program asks of the operating system about itself and its user.
namespace platform {

inline constexpr std::size_t userNameMaxLength = 256;

// The login name of the process owner, as bytes, at most userNameMaxLength of them.
std::string userName();

// The computer's network name (its host name), as bytes.
std::string computerName();

// The program counts as the NT family everywhere, so the messenger-service
// notice is the default one.
bool isNtFamily();

// Folder of the program's stored files: ${XDG_CONFIG_HOME:-$HOME/.config}/falavox.
// Not created here.
QString configDirectory();

} // namespace platform
