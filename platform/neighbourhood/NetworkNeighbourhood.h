#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The network neighbourhood: networks, their domains and workgroups, and the computers in
// them, as records of the shape the tray menu's scan reads. Each network is a provider
// (SMB/NetBIOS browsing, DNS-SD over multicast DNS) that lists the children of a
// container of its own.
namespace platform {

inline constexpr std::uint32_t RESOURCE_GLOBALNET = 2;

inline constexpr std::uint32_t RESOURCETYPE_ANY = 0;
inline constexpr std::uint32_t RESOURCETYPE_DISK = 1;
inline constexpr std::uint32_t RESOURCETYPE_PRINT = 2;

inline constexpr std::uint32_t RESOURCEDISPLAYTYPE_GENERIC = 0;
inline constexpr std::uint32_t RESOURCEDISPLAYTYPE_DOMAIN = 1;
inline constexpr std::uint32_t RESOURCEDISPLAYTYPE_SERVER = 2;
inline constexpr std::uint32_t RESOURCEDISPLAYTYPE_SHARE = 3;
inline constexpr std::uint32_t RESOURCEDISPLAYTYPE_NETWORK = 6;
inline constexpr std::uint32_t RESOURCEDISPLAYTYPE_ROOT = 7;

inline constexpr std::uint32_t RESOURCEUSAGE_CONNECTABLE = 1;
inline constexpr std::uint32_t RESOURCEUSAGE_CONTAINER = 2;

// Provider names as records carry them.
inline constexpr const char* smbProviderName = "Microsoft Windows Network";
inline constexpr const char* dnssdProviderName = "Multicast DNS";

// The DNS-SD service type every copy announces itself under, and the first the DNS-SD
// provider browses for.
inline constexpr const char* falavoxServiceType = "_falavox._tcp";

// One entry of the neighbourhood. A string that is absent is a null pointer in the
// record's fixed layout. Texts are Windows-1252 bytes. A computer's remote name begins
// with two backslashes ("\\NAME"), a domain's is its bare name.
struct NetResource {
    std::uint32_t dwScope = RESOURCE_GLOBALNET;
    std::uint32_t dwType = RESOURCETYPE_ANY;
    std::uint32_t dwDisplayType = RESOURCEDISPLAYTYPE_GENERIC;
    std::uint32_t dwUsage = 0;
    std::optional<std::string> lpLocalName;
    std::optional<std::string> lpRemoteName;
    std::optional<std::string> lpComment;
    std::optional<std::string> lpProvider;
};

// A container of `provider`'s: a network, a domain or a computer ("\\NAME").
inline NetResource containerRecord(std::uint32_t displayType, std::string remoteName,
                                   std::string provider) {
    NetResource record;
    record.dwDisplayType = displayType;
    record.dwUsage = RESOURCEUSAGE_CONTAINER;
    record.lpRemoteName = std::move(remoteName);
    record.lpProvider = std::move(provider);
    return record;
}

// The record of a provider's whole network, the first container a scan opens.
inline NetResource networkRecord(const std::string& provider) {
    return containerRecord(RESOURCEDISPLAYTYPE_NETWORK, provider, provider);
}

// Whether a scan opens this record to list its children: networks, roots, domains and
// workgroups; never a printer, whatever it says it is.
inline bool opensToChildren(const NetResource& record) {
    if (record.dwType == RESOURCETYPE_PRINT) return false;
    return record.dwDisplayType == RESOURCEDISPLAYTYPE_DOMAIN ||
           record.dwDisplayType == RESOURCEDISPLAYTYPE_NETWORK ||
           record.dwDisplayType == RESOURCEDISPLAYTYPE_ROOT;
}

// One network, asked on the user-interface thread's event loop. A provider bounds its own
// wait (a few seconds at most) and then gives what it has.
class NetworkProvider {
public:
    // A container's children; none when it cannot be opened.
    using Answer = std::optional<std::vector<NetResource>>;

    virtual ~NetworkProvider() = default;

    // The name that this provider's records carry in lpProvider.
    virtual std::string providerName() const = 0;

    // Asks for the children of `container`, a record of this provider (its network record
    // gives the domains, a domain its computers). `answered` runs once on this thread,
    // never inside this call, and not at all once the provider is destroyed. False, with
    // nothing asked, when the provider cannot take the question.
    virtual bool ask(const NetResource& container, std::function<void(Answer)> answered) = 0;
};

// What the neighbourhood is on this computer while the program runs: the providers, this
// copy's own announcement on the network, and the extra name sources for lookups. All of
// it ends when the object is destroyed. Providers whose service is missing (no Avahi
// daemon, no SMB library) are simply absent or list nothing; nothing here reports errors.
class SystemNeighbourhood {
public:
    virtual ~SystemNeighbourhood() = default;
    virtual std::vector<std::shared_ptr<NetworkProvider>> providers() const = 0;
};

// Starts the neighbourhood of this computer; `chatPort` is the port this copy listens on,
// announced to the network. Never blocks for long.
std::unique_ptr<SystemNeighbourhood> startSystemNeighbourhood(std::uint16_t chatPort);

} // namespace platform
