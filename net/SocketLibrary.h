#pragma once

#include "platform/sockets/Winsock.h"

#include <string>

// The process's sockets library: loaded and started at the first call that needs it,
// released when the last socket is destroyed (and at program end), loaded again by
// the next call. Touched only from the user-interface thread.
namespace net {

// The loaded library; loads and starts it first when needed. Raises ESocketException
// when it cannot be loaded or started.
platform::SocketLibrary& socketLibrary();

// Cleans up and unloads the library if it is loaded.
void releaseSocketLibrary();

bool socketLibraryLoaded();

// The name the library is loaded by; "wsock32.dll" unless a test changes it.
const std::string& socketLibraryName();
void setSocketLibraryName(const std::string& name);

} // namespace net
