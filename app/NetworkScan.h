#pragma once

#include "app/NameLists.h"
#include "platform/NetworkEnum.h"

#include <chrono>
#include <memory>

namespace app {

// One scan of the network neighbourhood, appending what it finds to the name lists.
// Every open and enumerate runs on a worker thread while this thread keeps serving its
// events; the containers are still visited one after the other, so the lists come out
// in exactly the order of a scan that waited on each call in turn.
class NetworkScan {
public:
    NetworkScan(std::shared_ptr<const platform::NetworkEnumeration> enumeration, NameLists& lists,
                std::chrono::milliseconds bound);

    // The whole scan from the top of the neighbourhood. When the bound passes, the scan
    // ends with what it has; a call still waiting is given up.
    void run();

    // False when the scan was cut short by its bound (or by the program ending).
    bool completed() const { return !givenUp_; }

    // Nesting deeper than this is not opened: real networks are four levels deep (top,
    // network, domain, computer), and a provider that keeps returning containers must not
    // exhaust the stack before the bound ends the scan.
    static constexpr int maxDepth = 8;

    // The result buffer each opened container gets.
    static constexpr std::uint32_t resultBufferSize = 8192;

    void ScanNetwork(const platform::NetResource* K, int p, int depth = 0);

private:
    int lastDomainIndex() const { return static_cast<int>(lists_.domains.size()) - 1; }

    std::shared_ptr<const platform::NetworkEnumeration> enumeration_;
    NameLists& lists_;
    std::chrono::steady_clock::time_point deadline_;
    bool givenUp_ = false;
};

} // namespace app
