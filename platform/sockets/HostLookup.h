#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Finding a computer's IPv4 addresses by name, for invitations and notices alike. The
// system resolver is asked first; a computer that no DNS server knows may still be found
// by the sources of the network neighbourhood (multicast DNS, NetBIOS name queries),
// which register themselves here. Blocking: call it from a worker thread.
namespace platform {

struct HostLookupResult {
    int error = 0; // 0, or a lookup error of the sockets library (11001 to 11004)
    std::vector<std::uint32_t> addresses; // network byte order, each once
};

// A further source of names: the addresses it knows for the name, none when it does not
// know it. Called on worker threads, possibly several at once; it must bound its own wait.
using HostLookupSource = std::function<std::vector<std::uint32_t>(const std::string& name)>;

// Sources are asked in the order they were added, after the system resolver. Adding
// returns an id that removes the source again.
int addHostLookupSource(HostLookupSource source);
void removeHostLookupSource(int id);

// The system resolver, then each source; the system's error when no one knows the name.
HostLookupResult lookupHost(const std::string& name);

// What stands in for the system resolver (getaddrinfo) from now on; an empty one puts the
// system's back. Tests answer names this way, never through the machine's own resolver.
using SystemResolver = std::function<HostLookupResult(const std::string& name)>;
void setSystemResolver(SystemResolver resolver);

} // namespace platform
