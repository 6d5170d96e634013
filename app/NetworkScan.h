#pragma once

#include "app/NameLists.h"
#include "platform/neighbourhood/NetworkEnum.h"

#include <chrono>

class QEventLoop;
#include <memory>

namespace app {

// One scan of the network neighbourhood, appending what it finds to the name lists.
// Every open runs on a worker thread while this thread keeps serving its events; the
// containers are still visited one after the other, so the lists come out in exactly the
// order of a scan that waited on each call in turn.
//
// Each container's answer is waited for until its own bound or the scan's, whichever
// comes first; a container that has not answered by then counts as one that cannot be
// opened, and the scan goes on with the next. Past the scan's bound nothing more is
// waited for, but every answer that has already arrived (the providers are asked ahead of
// the scan, all at once) is still listed, so one slow network hides nobody of another.
class NetworkScan {
public:
    // A container is waited for this long at most: well beyond the providers' own
    // time-outs, so only a network that does not answer at all is cut short by it.
    static constexpr std::chrono::milliseconds defaultContainerBound{5000};

    NetworkScan(std::shared_ptr<const platform::NetworkEnumeration> enumeration, NameLists& lists,
                std::chrono::milliseconds bound,
                std::chrono::milliseconds containerBound = defaultContainerBound);

    // The whole scan from the top of the neighbourhood. It ends by its bound with what has
    // arrived; a call still waiting is given up.
    void run();

    // Ends the scan from one of the events it serves: the call it waits on is given up and
    // nothing more is opened; run() then returns with what was listed so far.
    void stop();

    // Nesting deeper than this is not opened: real networks are four levels deep (top,
    // network, domain, computer), and a provider that keeps returning containers must not
    // exhaust the stack before the bound ends the scan.
    static constexpr int maxDepth = 8;

    // The result buffer of each request for a container's entries; a container with more
    // entries than fit is asked again until it has none left.
    static constexpr std::uint32_t resultBufferSize = 8192;

    void ScanNetwork(const platform::NetResource* K, int p, int depth = 0);

private:
    int lastDomainIndex() const { return static_cast<int>(lists_.domains.size()) - 1; }

    std::shared_ptr<const platform::NetworkEnumeration> enumeration_;
    NameLists& lists_;
    std::chrono::steady_clock::time_point deadline_;
    std::chrono::milliseconds containerBound_;
    bool stopped_ = false;
    // The nested loop of the open being waited on, if any.
    QEventLoop* waiting_ = nullptr;
};

} // namespace app
