#include "platform/sockets/SocketLibraryLoader.h"

#include "platform/sockets/PosixSockets.h"

namespace platform {

namespace {
SocketLibraryLoader& currentLoader() {
    static SocketLibraryLoader loader;
    return loader;
}
} // namespace

std::unique_ptr<SocketLibrary> loadSocketLibrary(const std::string& name, int& error) {
    if (currentLoader()) {
        auto library = currentLoader()(name);
        error = library ? 0 : 126;
        return library;
    }
    return loadSystemSocketLibrary(name, error);
}

void setSocketLibraryLoader(SocketLibraryLoader loader) {
    currentLoader() = std::move(loader);
}

} // namespace platform
