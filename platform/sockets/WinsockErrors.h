#pragma once

#include "platform/sockets/WinsockErrorTable.h"

// The sockets library's error numbers, and what the system's own errors mean in them.
namespace platform {

enum WinsockError : int {
#define FALAVOX_WINSOCK_ENUM(name, number, errnoValue, text) name = number,
    FALAVOX_WINSOCK_ERRORS(FALAVOX_WINSOCK_ENUM)
#undef FALAVOX_WINSOCK_ENUM
};

// Translates a Linux errno value by meaning; values with no counterpart pass unchanged.
int winsockErrorFromErrno(int error);
// Translates a getaddrinfo result code into the lookup errors 11001 to 11004.
int winsockErrorFromLookup(int code);

} // namespace platform
