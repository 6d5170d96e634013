#pragma once

#include "app/NameLists.h"
#include "platform/neighbourhood/NetworkNeighbourhood.h"

#include <QTimer>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

namespace app {

// The providers of the network neighbourhood, asked on the user-interface thread's event
// loop, each one thing at a time: a provider that never answers is asked once however
// often it is scanned, and one network's many containers do not start as many browses at
// once. Answers come back in the order the provider was asked.
class NetworkProviders {
public:
    // A container's children; none when it cannot be opened (the provider said so, threw
    // or refused the question).
    using Answer = std::optional<std::vector<platform::NetResource>>;

    explicit NetworkProviders(std::vector<std::shared_ptr<platform::NetworkProvider>> providers);

    // The providers, in the order the top of the neighbourhood lists their networks.
    const std::vector<std::shared_ptr<platform::NetworkProvider>>& providers() const {
        return providers_;
    }

    // Asks `provider` (one of these) for the children of `container`. `answered` runs on
    // this thread, never inside this call, unless `owner` has expired by then: an ask whose
    // owner has gone before its turn is not made at all.
    void ask(const std::shared_ptr<platform::NetworkProvider>& provider,
             platform::NetResource container, std::weak_ptr<void> owner,
             std::function<void(Answer)> answered) const;

private:
    struct Queue;
    std::vector<std::shared_ptr<platform::NetworkProvider>> providers_;
    std::vector<std::shared_ptr<Queue>> queues_;
};

// One scan of the network neighbourhood, appending what it finds to the name lists. It
// runs on the user-interface thread's event loop: it asks the providers and goes on as
// their answers come. The containers are still visited one after the other, so the lists
// come out in exactly the order of a scan that waited on each one in turn.
//
// Starting the scan asks every provider at once for its network, then, in order, for each
// container in it, so each container's answer is waiting or on its way when the scan comes
// to it, and a provider whose network is slow or silent keeps nobody from the others.
// Each container's answer is waited for until its own bound or the scan's, whichever
// comes first; a container that has not answered by then counts as one that cannot be
// opened, and the scan goes on with the next. Past the scan's bound nothing more is waited
// for, but every answer that has already arrived is still listed, so one slow network
// hides nobody of another.
class NetworkScan {
public:
    // A container is waited for this long at most: well beyond the providers' own
    // time-outs, so only a network that does not answer at all is cut short by it.
    static constexpr std::chrono::milliseconds defaultContainerBound{5000};

    // Nesting deeper than this is not opened: real networks are four levels deep (top,
    // network, domain, computer), and a provider that keeps returning containers must not
    // be followed for ever.
    static constexpr int maxDepth = 8;

    NetworkScan(std::shared_ptr<const NetworkProviders> providers, NameLists& lists,
                std::chrono::milliseconds bound,
                std::chrono::milliseconds containerBound = defaultContainerBound);
    ~NetworkScan();
    NetworkScan(const NetworkScan&) = delete;
    NetworkScan& operator=(const NetworkScan&) = delete;

    // Starts the scan from the top of the neighbourhood; `finished` runs once on this
    // thread when it has ended, by its bounds, by stop() or by an error (never inside this
    // call). Late answers go nowhere.
    void start(std::function<void()> finished);

    // Starts the scan and serves the thread's events until it has ended.
    void run();

    // Ends the scan: nothing more is waited for or opened, and what was listed stays.
    void stop();

    bool running() const { return running_; }

private:
    struct Pending;
    struct Frame {
        std::vector<platform::NetResource> entries;
        std::size_t next = 0;
        int depth = 0;
        bool netWareChecked = false;
    };
    using Key = std::tuple<std::string, std::uint32_t, std::string>;

    void advance();
    void visit(const platform::NetResource& container, int depth);
    void open(const platform::NetResource& container, int depth);
    void answered(const std::shared_ptr<Pending>& pending);
    void walk(const std::shared_ptr<platform::NetworkProvider>& provider);
    std::shared_ptr<Pending> askFor(const std::shared_ptr<platform::NetworkProvider>& provider,
                                    const platform::NetResource& container);
    void finish();
    int lastDomainIndex() const { return static_cast<int>(lists_.domains.size()) - 1; }

    std::shared_ptr<const NetworkProviders> providers_;
    NameLists& lists_;
    std::chrono::milliseconds bound_;
    std::chrono::milliseconds containerBound_;
    std::chrono::steady_clock::time_point deadline_;
    std::function<void()> finished_;
    bool running_ = false;
    bool stopped_ = false;
    // What the containers still to be visited will find: each answer is taken by the first
    // visit of its container.
    std::map<Key, std::shared_ptr<Pending>> prefetched_;
    std::vector<Frame> frames_;
    // The answer being waited for, with its container's depth, and the bound of the wait.
    std::shared_ptr<Pending> waitingFor_;
    int waitingDepth_ = 0;
    QTimer waitBound_;
    // Expires when the scan ends: its asks still queued are not made, late answers dropped.
    std::shared_ptr<int> alive_;
};

} // namespace app
