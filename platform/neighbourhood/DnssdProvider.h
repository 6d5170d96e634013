#pragma once

#include "platform/neighbourhood/NetworkNeighbourhood.h"

#include <QString>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>

// The computers that announce themselves over DNS-SD (multicast DNS on the local link,
// and the wide-area browse domains the network announces), through the Avahi daemon.
namespace platform {

class AvahiDaemon;

// The service types whose publishers are listed as computers: this program's own (the one
// each copy announces), and those of workstations, file sharing and remote logins, which
// most desktops publish.
inline constexpr const char* dnssdComputerServiceTypes[] = {
    falavoxServiceType, "_workstation._tcp", "_smb._tcp", "_sftp-ssh._tcp", "_ssh._tcp"};

class DnssdProvider : public NetworkProvider {
public:
    explicit DnssdProvider(std::chrono::milliseconds bound = std::chrono::milliseconds(2500));
    ~DnssdProvider() override;

    std::string providerName() const override { return dnssdProviderName; }

    // The network record gives the browse domains, "local" first; a domain gives the host
    // names (without the domain) of the computers publishing one of the types above,
    // each once. None when no daemon answers. Asked on the user-interface thread.
    bool ask(const NetResource& container, std::function<void(Answer)> answered) override;

    // The full host name behind a name this provider listed ("box" listed under
    // "example.org" is "box.example.org"), so that a lookup can ask for the right one.
    // Safe on any thread.
    std::optional<std::string> fullHostName(const std::string& listedName) const;

    // A computer as listed (Windows-1252, without the domain) and its full host name.
    struct ListedHost {
        std::string listedName;
        std::string fullName;
    };

private:
    class Ask;
    void release(Ask* ask);
    // The hosts' records; their full names are kept for lookups.
    std::vector<NetResource> remember(const std::vector<ListedHost>& hosts);

    std::chrono::milliseconds bound_;
    // Made at the first ask, on the thread that asks; ends after the asks.
    std::unique_ptr<AvahiDaemon> daemon_;
    std::vector<std::unique_ptr<Ask>> asks_;
    // Answered asks, ended on the loop's next turn.
    std::vector<std::unique_ptr<Ask>> retired_;
    mutable std::mutex namesMutex_;
    std::map<std::string, std::string> fullNames_;
    // The computers of "local" found while the domains were browsed, for the ask that
    // follows (see Ask).
    std::optional<std::vector<NetResource>> prefetchedLocal_;
    std::chrono::steady_clock::time_point prefetchedAt_;
};

// "box.local" in "local" is "box"; a host name outside the domain is kept whole, so
// that it stays a name the resolver can find. Comparison ignores letter case and a
// final dot.
std::string hostNameWithoutDomain(const std::string& hostName, const std::string& domain);

// The name a host is listed by: its name as Avahi gives it (labels in escaped text form,
// "a\038b.local"), without the domain, its labels unescaped ("a&b"), in Windows-1252 (see
// readableName). None when the name is not UTF-8 or cannot be written at all.
std::optional<std::string> listedHostName(const std::string& hostName, const std::string& domain);

// A name in Windows-1252: as written where the code page holds it; otherwise the
// characters it lacks without their accents, or Greek and Cyrillic in Latin letters
// ("Маша" is "Masha"), or else the whole name in its international (ASCII) form. The
// invitation still asks for the real name: the provider keeps it beside the listed one.
std::optional<std::string> readableName(const QString& name);

// The most computers one domain lists: two subnets of 254 computers each.
inline constexpr std::size_t maxComputersPerDomain = 512;

// The computers of a domain from the full names found three ways, the best believed
// first: hosts that answered the direct query for themselves, hosts of the daemon's
// browse, hosts the direct answers named for others. Each listed name once (the first,
// letter case aside), at most maxComputersPerDomain of them, then ordered by listed name
// (letter case aside), so that the list reads the same whoever answered first.
std::vector<DnssdProvider::ListedHost> computersOfDomain(const std::vector<std::string>& own,
                                                         const std::vector<std::string>& fromDaemon,
                                                         const std::vector<std::string>& others,
                                                         const std::string& domainUtf8);

} // namespace platform
