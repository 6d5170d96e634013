#include "app/NetworkScan.h"

#include <QEventLoop>
#include <algorithm>
#include <deque>

namespace app {

using namespace platform;
using Clock = std::chrono::steady_clock;

// One provider's asks, made one after the other: at most one of them is out at a time.
struct NetworkProviders::Queue {
    struct Ask {
        NetResource container;
        std::weak_ptr<void> owner;
        std::function<void(Answer)> answered;
    };

    explicit Queue(std::shared_ptr<NetworkProvider> provider) : provider(std::move(provider)) {}

    const std::shared_ptr<NetworkProvider> provider;
    std::deque<Ask> asks;
    bool busy = false;

    static void next(const std::shared_ptr<Queue>& queue) {
        while (!queue->busy && !queue->asks.empty()) {
            Ask ask = std::move(queue->asks.front());
            queue->asks.pop_front();
            if (ask.owner.expired()) continue;
            queue->busy = true;
            const std::function<void(Answer)> done = [queue, owner = ask.owner,
                                                      answered = ask.answered](Answer answer) {
                queue->busy = false;
                if (!owner.expired()) answered(std::move(answer));
                next(queue);
            };
            // A provider that throws or refuses counts as one whose container cannot be
            // opened: no error of the neighbourhood reaches the user.
            bool asked = false;
            try {
                asked = queue->provider->ask(ask.container, done);
            } catch (...) {
            }
            if (!asked) QTimer::singleShot(0, [done] { done(std::nullopt); });
        }
    }
};

NetworkProviders::NetworkProviders(std::vector<std::shared_ptr<NetworkProvider>> providers)
    : providers_(std::move(providers)) {
    std::erase(providers_, nullptr);
    for (const auto& provider : providers_)
        queues_.push_back(std::make_shared<Queue>(provider));
}

void NetworkProviders::ask(const std::shared_ptr<NetworkProvider>& provider, NetResource container,
                           std::weak_ptr<void> owner, std::function<void(Answer)> answered) const {
    for (const auto& queue : queues_) {
        if (queue->provider != provider) continue;
        queue->asks.push_back({std::move(container), std::move(owner), std::move(answered)});
        Queue::next(queue);
        return;
    }
}

// A container's answer, filled in when its provider has answered.
struct NetworkScan::Pending {
    bool finished = false;
    NetworkProviders::Answer answer;
};

namespace {

// A container's answer is filed under its provider, display type and remote name.
std::tuple<std::string, std::uint32_t, std::string> keyOf(const NetResource& container) {
    return {container.lpProvider.value_or(std::string()), container.dwDisplayType,
            container.lpRemoteName.value_or(std::string())};
}

} // namespace

NetworkScan::NetworkScan(std::shared_ptr<const NetworkProviders> providers, NameLists& lists,
                         std::chrono::milliseconds bound, std::chrono::milliseconds containerBound)
    : providers_(std::move(providers)), lists_(lists), bound_(bound),
      containerBound_(containerBound) {
    waitBound_.setSingleShot(true);
    waitBound_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&waitBound_, &QTimer::timeout, [this] {
        // Not answered in time: the container counts as one that cannot be opened.
        waitingFor_.reset();
        advance();
    });
}

NetworkScan::~NetworkScan() = default;

void NetworkScan::start(std::function<void()> finished) {
    finished_ = std::move(finished);
    running_ = true;
    stopped_ = false;
    alive_ = std::make_shared<int>(0);
    deadline_ = Clock::now() + bound_;
    // The top of the neighbourhood lists one network record per provider.
    Frame top;
    for (const auto& provider : providers_->providers()) {
        top.entries.push_back(networkRecord(provider->providerName()));
        walk(provider);
    }
    frames_.push_back(std::move(top));
    QTimer::singleShot(0, &waitBound_, [this] { advance(); });
}

void NetworkScan::run() {
    QEventLoop loop;
    bool ended = false;
    start([&] {
        ended = true;
        loop.quit();
    });
    if (!ended) loop.exec();
    // The loop also ends when the program's loops are told to end.
    stop();
}

void NetworkScan::stop() {
    stopped_ = true;
    finish();
}

void NetworkScan::walk(const std::shared_ptr<NetworkProvider>& provider) {
    const NetResource network = networkRecord(provider->providerName());
    auto pending = std::make_shared<Pending>();
    prefetched_[keyOf(network)] = pending;
    providers_->ask(
        provider, network, alive_, [this, provider, pending](NetworkProviders::Answer answer) {
            // The containers of the network are asked for in the order the scan opens them,
            // and filed before the network's answer is taken.
            if (answer)
                for (const NetResource& child : *answer) {
                    if (!opensToChildren(child) || child.lpProvider != provider->providerName())
                        continue;
                    const Key key = keyOf(child);
                    if (!prefetched_.count(key)) prefetched_[key] = askFor(provider, child);
                }
            pending->finished = true;
            pending->answer = std::move(answer);
            answered(pending);
        });
}

std::shared_ptr<NetworkScan::Pending>
NetworkScan::askFor(const std::shared_ptr<NetworkProvider>& provider,
                    const NetResource& container) {
    auto pending = std::make_shared<Pending>();
    providers_->ask(provider, container, alive_, [this, pending](NetworkProviders::Answer answer) {
        pending->finished = true;
        pending->answer = std::move(answer);
        answered(pending);
    });
    return pending;
}

void NetworkScan::answered(const std::shared_ptr<Pending>& pending) {
    if (pending != waitingFor_) return; // filed for a later visit, or too late
    waitBound_.stop();
    waitingFor_.reset();
    if (pending->answer) frames_.push_back({std::move(*pending->answer), 0, waitingDepth_, false});
    advance();
}

void NetworkScan::advance() {
    try {
        while (running_ && !waitingFor_) {
            if (stopped_ || frames_.empty()) {
                finish();
                return;
            }
            Frame& frame = frames_.back();
            const int depth = frame.depth + 1;
            if (frame.next < frame.entries.size()) {
                // A copy: visiting may add a frame and move this one.
                const NetResource entry = frame.entries[frame.next++];
                visit(entry, depth);
                continue;
            }
            // A NetWare network found first hides the Windows network's own top: that one
            // is enumerated as well, even when it was listed already.
            if (!frame.netWareChecked) {
                frame.netWareChecked = true;
                const NetResource* first = frame.entries.empty() ? nullptr : &frame.entries[0];
                if (first && first->dwDisplayType == RESOURCEDISPLAYTYPE_NETWORK &&
                    first->lpProvider == std::optional<std::string>("NetWare")) {
                    NetResource microsoftNetwork;
                    microsoftNetwork.dwScope = RESOURCE_GLOBALNET;
                    microsoftNetwork.dwType = RESOURCETYPE_ANY;
                    microsoftNetwork.dwDisplayType = RESOURCEDISPLAYTYPE_NETWORK;
                    microsoftNetwork.dwUsage = RESOURCEUSAGE_CONTAINER;
                    microsoftNetwork.lpComment = std::string();
                    microsoftNetwork.lpProvider = std::string("Microsoft Network");
                    visit(microsoftNetwork, depth);
                    continue;
                }
            }
            frames_.pop_back();
        }
    } catch (...) {
        // Whatever fails ends the scan; what was listed before stays.
        finish();
    }
}

void NetworkScan::visit(const NetResource& K, int depth) {
    if (K.dwType == RESOURCETYPE_PRINT) return;
    const int p = lastDomainIndex();
    const std::string remoteName = K.lpRemoteName.value_or(std::string());
    // A domain the list has no room for is not opened: its computers would be taken for
    // the last listed domain's.
    if (K.dwDisplayType == RESOURCEDISPLAYTYPE_DOMAIN && !lists_.addDomain(remoteName)) return;
    // A computer's remote name begins with two backslashes.
    if (K.dwDisplayType == RESOURCEDISPLAYTYPE_SERVER)
        lists_.addComputer({remoteName.size() > 2 ? remoteName.substr(2, 64) : std::string(), p});
    if (!opensToChildren(K) || depth >= maxDepth || stopped_) return;
    open(K, depth);
}

void NetworkScan::open(const NetResource& container, int depth) {
    std::shared_ptr<NetworkProvider> provider;
    for (const auto& candidate : providers_->providers())
        if (container.lpProvider == candidate->providerName()) provider = candidate;
    if (!provider) return; // no such network: nothing below it
    const auto now = Clock::now();
    const auto answerBy = std::min(deadline_, now + containerBound_);
    std::shared_ptr<Pending> pending;
    if (const auto found = prefetched_.find(keyOf(container)); found != prefetched_.end()) {
        pending = std::move(found->second);
        prefetched_.erase(found);
    } else if (now < answerBy) {
        pending = askFor(provider, container);
    }
    if (!pending) return;
    if (pending->finished) {
        if (pending->answer) frames_.push_back({std::move(*pending->answer), 0, depth, false});
        return;
    }
    // Past the scan's bound only answers already in are taken.
    if (now >= answerBy) return;
    waitingFor_ = std::move(pending);
    waitingDepth_ = depth;
    waitBound_.start(std::chrono::ceil<std::chrono::milliseconds>(answerBy - now));
}

void NetworkScan::finish() {
    if (!running_) return;
    running_ = false;
    waitBound_.stop();
    waitingFor_.reset();
    frames_.clear();
    prefetched_.clear();
    alive_.reset();
    // Last: whoever is told may let go of the scan.
    const auto finished = std::move(finished_);
    finished_ = nullptr;
    if (finished) finished();
}

} // namespace app
