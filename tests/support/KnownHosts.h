#pragma once

#include "platform/sockets/HostLookup.h"
#include "platform/sockets/Winsock.h"

#include <arpa/inet.h>
#include <atomic>
#include <map>
#include <memory>
#include <string>

namespace testsupport {

// Names answered by the test instead of the machine's resolver, for as long as it lives:
// each listed name has its address, every other name is unknown (host not found). It
// counts the lookups it answered, for a test that waits until one has been.
class KnownHosts {
public:
    explicit KnownHosts(std::map<std::string, std::string> addresses = {{"localhost", "127.0.0.1"}})
        : answered_(std::make_shared<std::atomic<int>>(0)) {
        platform::setSystemResolver(
            [addresses = std::move(addresses), answered = answered_](const std::string& name) {
                platform::HostLookupResult result;
                const auto known = addresses.find(name);
                if (known == addresses.end())
                    result.error = platform::WSAHOST_NOT_FOUND;
                else
                    result.addresses.push_back(::inet_addr(known->second.c_str()));
                ++*answered;
                return result;
            });
    }
    ~KnownHosts() { platform::setSystemResolver(nullptr); }
    KnownHosts(const KnownHosts&) = delete;
    KnownHosts& operator=(const KnownHosts&) = delete;

    int answered() const { return answered_->load(); }

private:
    std::shared_ptr<std::atomic<int>> answered_;
};

} // namespace testsupport
