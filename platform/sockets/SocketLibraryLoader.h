#pragma once

#include "platform/sockets/Winsock.h"

#include <functional>
#include <memory>
#include <string>

namespace platform {

// The name the system's sockets library is loaded by.
inline constexpr const char* systemSocketLibraryName = "wsock32.dll";

// Loads the library of the given name: "wsock32.dll" is the system's. Returns null,
// with `error` set to the system's error number, when there is none of that name.
// Tests replace the loader to hand out a library of their own.
using SocketLibraryLoader = std::function<std::unique_ptr<SocketLibrary>(const std::string&)>;
std::unique_ptr<SocketLibrary> loadSocketLibrary(const std::string& name, int& error);
void setSocketLibraryLoader(SocketLibraryLoader loader);

} // namespace platform
