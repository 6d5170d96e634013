#pragma once

#include <string>

namespace app {

// First byte upper case, the rest lower case; only ASCII letters change, so accented
// letters and other bytes of a Windows-1252 name stay as they are.
std::string capitalizeName(std::string name);

// The login name of the user running the program, capitalised and cut at the first
// zero byte and at 256 bytes: the nickname of every line this side sends.
std::string localUserName();

} // namespace app
