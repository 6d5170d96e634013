#include "net/SocketLibrary.h"

#include "net/SocketException.h"
#include "platform/sockets/SocketLibraryLoader.h"

#include <memory>

namespace net {
namespace {

struct LibraryState {
    std::string name = platform::systemSocketLibraryName;
    std::unique_ptr<platform::SocketLibrary> library;
};

LibraryState& state() {
    static LibraryState s;
    return s;
}

} // namespace

platform::SocketLibrary& socketLibrary() {
    LibraryState& s = state();
    if (s.library) return *s.library;
    int error = 0;
    auto library = platform::loadSocketLibrary(s.name, error);
    if (!library)
        throw ESocketException("Unable to load " + s.name + " Error #" + std::to_string(error));
    const int result = library->WSAStartup(257);
    // A library that would not start is not kept, so the next call tries again.
    if (result != 0)
        throw ESocketException(s.name + ": WSAStartup error #" + std::to_string(result));
    s.library = std::move(library);
    return *s.library;
}

void releaseSocketLibrary() {
    LibraryState& s = state();
    if (!s.library) return;
    s.library->WSACleanup();
    s.library.reset();
}

bool socketLibraryLoaded() {
    return state().library != nullptr;
}

const std::string& socketLibraryName() {
    return state().name;
}

void setSocketLibraryName(const std::string& name) {
    state().name = name;
}

} // namespace net
