#pragma once

#include <string>

namespace app {

// The login name of the user running the program, capitalised and cut at the first
// zero byte and at 256 bytes: the nickname of every line this side sends.
std::string localUserName();

} // namespace app
