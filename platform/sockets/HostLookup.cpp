#include "platform/sockets/HostLookup.h"

#include "platform/sockets/PosixSockets.h"

#include <mutex>
#include <netdb.h>
#include <utility>

namespace platform {
namespace {

struct Sources {
    std::mutex mutex;
    SystemResolver system; // empty: getaddrinfo
    std::vector<std::pair<int, HostLookupSource>> list;
    int lastId = 0;
};

// Never destroyed: a lookup's worker may still run while the program exits.
Sources& sources() {
    static auto* s = new Sources;
    return *s;
}

HostLookupResult systemLookup(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int code = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    HostLookupResult result;
    if (code != 0) {
        result.error = winsockErrorFromLookup(code);
        return result;
    }
    result.addresses = ipv4AddressesOf(found);
    ::freeaddrinfo(found);
    if (result.addresses.empty()) result.error = WSANO_DATA;
    return result;
}

} // namespace

int addHostLookupSource(HostLookupSource source) {
    Sources& s = sources();
    std::lock_guard lock(s.mutex);
    s.list.emplace_back(++s.lastId, std::move(source));
    return s.lastId;
}

void removeHostLookupSource(int id) {
    Sources& s = sources();
    std::lock_guard lock(s.mutex);
    std::erase_if(s.list, [id](const auto& entry) { return entry.first == id; });
}

void setSystemResolver(SystemResolver resolver) {
    Sources& s = sources();
    std::lock_guard lock(s.mutex);
    s.system = std::move(resolver);
}

HostLookupResult lookupHost(const std::string& name) {
    // Copied out, so a slow resolver or source never holds others from adding or removing
    // theirs.
    SystemResolver system;
    std::vector<HostLookupSource> further;
    {
        Sources& s = sources();
        std::lock_guard lock(s.mutex);
        system = s.system;
        for (const auto& entry : s.list)
            further.push_back(entry.second);
    }
    HostLookupResult result = system ? system(name) : systemLookup(name);
    if (result.error == 0 || name.empty()) return result;
    for (const HostLookupSource& source : further) {
        std::vector<std::uint32_t> addresses = source(name);
        if (!addresses.empty()) return HostLookupResult{0, std::move(addresses)};
    }
    return result;
}

} // namespace platform
