#pragma once

#include <chrono>

namespace net {

// How long one piece of the program may go on with a peer's data in one turn of the event
// loop: a read notification reading while bytes keep waiting, line assembly handing lines
// on. What is left goes on in the next turns, so that a peer which sends without pause
// never keeps the program from its other sockets, its timers and its user.
inline constexpr std::chrono::milliseconds turnBudget{4};

} // namespace net
