#include "platform/neighbourhood/NetworkNeighbourhood.h"

#include "platform/neighbourhood/AvahiDaemon.h"
#include "platform/neighbourhood/AvahiPublisher.h"
#include "platform/neighbourhood/DnssdProvider.h"
#include "platform/neighbourhood/NetbiosLookup.h"
#include "platform/neighbourhood/SmbProvider.h"
#include "platform/sockets/HostLookup.h"
#include "platform/system/Cp1252.h"

#include <QString>

namespace platform {
namespace {

using std::chrono::milliseconds;

// Each name source waits this long at most: an invitation to a name nobody knows reports
// "unknown server" after the system resolver and both of these.
constexpr milliseconds avahiLookupBound{1500};
constexpr milliseconds netbiosLookupBound{1500};

// The names Avahi is asked for: the full name under which the DNS-SD provider listed the
// computer, else the name itself when it is already a full one, else the name in the
// local link's domain.
std::vector<std::string> multicastNamesFor(const std::string& name, const DnssdProvider& dnssd) {
    std::vector<std::string> names;
    if (std::optional<std::string> full = dnssd.fullHostName(name)) names.push_back(*full);
    const std::string utf8 = fromCp1252(name).toUtf8().toStdString();
    if (utf8.find('.') == std::string::npos)
        names.push_back(utf8 + ".local");
    else
        names.push_back(utf8);
    if (names.size() == 2 && names[0] == names[1]) names.pop_back();
    return names;
}

class LiveNeighbourhood : public SystemNeighbourhood {
public:
    explicit LiveNeighbourhood(std::uint16_t chatPort)
        : smb_(std::make_shared<SmbProvider>()), dnssd_(std::make_shared<DnssdProvider>()),
          publisher_(chatPort) {
        // The sources hold the provider, not this object: a lookup may still be running
        // on a worker thread when the neighbourhood ends.
        std::shared_ptr<DnssdProvider> dnssd = dnssd_;
        avahiSource_ = addHostLookupSource([dnssd](const std::string& name) {
            return AvahiDaemon::resolveHostNames(multicastNamesFor(name, *dnssd), avahiLookupBound);
        });
        netbiosSource_ = addHostLookupSource(
            [](const std::string& name) { return netbiosLookup(name, netbiosLookupBound); });
    }

    ~LiveNeighbourhood() override {
        removeHostLookupSource(netbiosSource_);
        removeHostLookupSource(avahiSource_);
    }

    std::vector<std::shared_ptr<NetworkProvider>> providers() const override {
        return {smb_, dnssd_};
    }

private:
    std::shared_ptr<SmbProvider> smb_;
    std::shared_ptr<DnssdProvider> dnssd_;
    AvahiPublisher publisher_;
    int avahiSource_ = 0;
    int netbiosSource_ = 0;
};

} // namespace

std::unique_ptr<SystemNeighbourhood> startSystemNeighbourhood(std::uint16_t chatPort) {
    return std::make_unique<LiveNeighbourhood>(chatPort);
}

} // namespace platform
