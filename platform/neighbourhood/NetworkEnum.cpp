#include "platform/neighbourhood/NetworkEnum.h"

#include "work/WorkPool.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <tuple>

namespace platform {

namespace {

// A container's answer is filed under its provider, display type and remote name.
using PrefetchKey = std::tuple<std::string, std::uint32_t, std::string>;

PrefetchKey keyOf(const std::string& provider, const NetResource& container) {
    return {provider, container.dwDisplayType, container.lpRemoteName.value_or(std::string())};
}

} // namespace

struct EnumState {
    std::vector<NetResource> entries;
    std::size_t next = 0;
    // Set only on a top: true while it is open, read by the walks it started.
    std::shared_ptr<std::atomic<bool>> walking;
};

// One container's answer, filled in by the thread that asks.
struct NetworkEnumeration::Prefetch {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::optional<std::vector<NetResource>> children;
    std::exception_ptr failure;

    struct Answer {
        std::optional<std::vector<NetResource>> children;
        std::exception_ptr failure;
    };

    static Answer fetch(NetworkProvider& provider, const NetResource& container) {
        Answer answer;
        try {
            answer.children = provider.children(container);
        } catch (...) {
            answer.failure = std::current_exception();
        }
        return answer;
    }

    void finish(Answer answer) {
        std::lock_guard lock(mutex);
        children = std::move(answer.children);
        failure = answer.failure;
        finished = true;
        done.notify_all();
    }

    void ask(NetworkProvider& provider, const NetResource& container) {
        finish(fetch(provider, container));
    }
};

struct NetworkEnumeration::Walks {
    std::mutex mutex;
    // Each answer with the open flag of the top whose walk files it.
    std::map<PrefetchKey, std::pair<std::shared_ptr<std::atomic<bool>>, std::shared_ptr<Prefetch>>>
        prefetched;
    // Each provider's lane, made on its first call.
    std::map<const NetworkProvider*, std::shared_ptr<Lane>> lanes;
};

NetworkEnumeration::NetworkEnumeration(std::vector<std::shared_ptr<NetworkProvider>> providers)
    : providers_(std::move(providers)), walks_(std::make_shared<Walks>()) {
    std::erase(providers_, nullptr);
}

std::shared_ptr<NetworkEnumeration::Lane>
NetworkEnumeration::laneOf(const std::shared_ptr<NetworkProvider>& provider) const {
    std::lock_guard lock(walks_->mutex);
    auto& lane = walks_->lanes[provider.get()];
    if (!lane) lane = std::make_shared<Lane>(provider);
    return lane;
}

NetworkEnumeration::~NetworkEnumeration() = default;

std::shared_ptr<NetworkProvider>
NetworkEnumeration::providerNamed(const std::optional<std::string>& name) const {
    if (!name) return nullptr;
    for (const auto& provider : providers_)
        if (provider->providerName() == *name) return provider;
    return nullptr;
}

namespace {

// Walks one provider's network: its network record first, then each container among the
// children, one after the other, filing each answer as it comes. Ends early when the top
// that started it is closed. The walk holds the provider, the answers and the table, never
// the enumeration: a scan that was given up may leave it running after the enumeration is
// gone.
template <class Walks, class Prefetch>
void walk(NetworkProvider& provider, const NetResource& network, Prefetch& first,
          const std::shared_ptr<std::atomic<bool>>& walking, Walks& walks) {
    const std::string name = provider.providerName();
    auto answer = Prefetch::fetch(provider, network);
    std::vector<std::pair<NetResource, std::shared_ptr<Prefetch>>> containers;
    if (answer.children) {
        // Filed before anyone can see the network's answer, so that a scan opening one of
        // these containers finds it on its way rather than asking again.
        std::lock_guard lock(walks.mutex);
        for (const NetResource& child : *answer.children) {
            if (!walking->load() || !opensToChildren(child) || child.lpProvider != name) continue;
            const auto key = keyOf(name, child);
            if (walks.prefetched.count(key)) continue;
            auto prefetch = std::make_shared<Prefetch>();
            walks.prefetched[key] = {walking, prefetch};
            containers.emplace_back(child, prefetch);
        }
    }
    first.finish(std::move(answer));
    for (auto& [container, prefetch] : containers) {
        if (!walking->load()) break;
        prefetch->ask(provider, container);
    }
}

} // namespace

// One provider's calls, made one after the other by a single job of the work pool at a
// time. A provider whose call never returns therefore holds one thread of the pool and no
// more, however often the neighbourhood is opened again: what is asked of it meanwhile
// waits here, and every open that waits for it ends at its own bound.
struct NetworkEnumeration::Lane {
    struct Ask {
        NetResource container;
        std::shared_ptr<Prefetch> answer;
        // Set for a walk from the top: true while that top is open, and the table it
        // files its answers in.
        std::shared_ptr<std::atomic<bool>> walking;
        std::shared_ptr<Walks> walks;
    };

    explicit Lane(std::shared_ptr<NetworkProvider> provider) : provider(std::move(provider)) {}

    const std::shared_ptr<NetworkProvider> provider;
    std::mutex mutex;
    std::deque<Ask> asks;
    bool running = false;

    static void add(const std::shared_ptr<Lane>& lane, Ask ask) {
        {
            std::lock_guard lock(lane->mutex);
            lane->asks.push_back(std::move(ask));
            if (lane->running) return;
            lane->running = true;
        }
        // The answers go out through the asks themselves, so the job has no completion.
        // When no thread can be had, what the lane holds cannot be asked, and counts as
        // not answered.
        if (!work::WorkPool::shared().runDetached([lane](std::stop_token) { lane->drain(); }))
            lane->dropAll();
    }

    void drain() {
        for (;;) {
            Ask ask;
            {
                std::lock_guard lock(mutex);
                if (asks.empty()) {
                    running = false;
                    return;
                }
                ask = std::move(asks.front());
                asks.pop_front();
            }
            if (ask.walking && !ask.walking->load())
                ask.answer->finish({}); // its top was closed before the walk could start
            else if (ask.walking)
                walk(*provider, ask.container, *ask.answer, ask.walking, *ask.walks);
            else
                ask.answer->ask(*provider, ask.container);
        }
    }

    void dropAll() {
        std::deque<Ask> dropped;
        {
            std::lock_guard lock(mutex);
            dropped.swap(asks);
            running = false;
        }
        for (Ask& ask : dropped)
            ask.answer->finish({});
    }
};

std::uint32_t NetworkEnumeration::WNetOpenEnumA(std::uint32_t dwScope, std::uint32_t, std::uint32_t,
                                                const NetResource* lpNetResource,
                                                EnumHandle* lphEnum,
                                                Clock::time_point answerBy) const {
    if (!lphEnum || dwScope != RESOURCE_GLOBALNET) return ERROR_INVALID_PARAMETER;
    *lphEnum = nullptr;
    auto state = std::make_unique<EnumState>();
    if (!lpNetResource) {
        state->walking = std::make_shared<std::atomic<bool>>(true);
        for (const auto& provider : providers_) {
            NetResource network;
            network.dwDisplayType = RESOURCEDISPLAYTYPE_NETWORK;
            network.dwUsage = RESOURCEUSAGE_CONTAINER;
            network.lpRemoteName = provider->providerName();
            network.lpProvider = provider->providerName();
            auto first = std::make_shared<Prefetch>();
            {
                std::lock_guard lock(walks_->mutex);
                walks_->prefetched[keyOf(network.lpProvider.value(), network)] = {state->walking,
                                                                                  first};
            }
            Lane::add(laneOf(provider), {network, std::move(first), state->walking, walks_});
            state->entries.push_back(std::move(network));
        }
        *lphEnum = state.release();
        return NO_ERROR;
    }

    const auto provider = providerNamed(lpNetResource->lpProvider);
    if (!provider) return ERROR_BAD_PROVIDER;
    std::shared_ptr<Prefetch> prefetch = takePrefetch(*lpNetResource);
    const bool unbounded = answerBy == Clock::time_point::max();
    if (!prefetch && !unbounded) {
        if (Clock::now() >= answerBy) return ERROR_NO_NETWORK;
        // Asked on the work pool, so that this wait can end at its bound.
        prefetch = std::make_shared<Prefetch>();
        Lane::add(laneOf(provider), {*lpNetResource, prefetch, nullptr, nullptr});
    }
    std::optional<std::vector<NetResource>> children;
    if (prefetch) {
        std::unique_lock lock(prefetch->mutex);
        const auto finished = [&] { return prefetch->finished; };
        if (unbounded)
            prefetch->done.wait(lock, finished);
        else if (!prefetch->done.wait_until(lock, answerBy, finished))
            return ERROR_NO_NETWORK;
        if (prefetch->failure) std::rethrow_exception(prefetch->failure);
        children = std::move(prefetch->children);
    } else {
        children = provider->children(*lpNetResource);
    }
    if (!children) return ERROR_NO_NETWORK;
    state->entries = std::move(*children);
    *lphEnum = state.release();
    return NO_ERROR;
}

std::uint32_t NetworkEnumeration::WNetEnumResourceA(EnumHandle hEnum, std::uint32_t* lpcCount,
                                                    std::vector<NetResource>* lpBuffer,
                                                    std::uint32_t* lpBufferSize) const {
    if (!hEnum) return ERROR_INVALID_HANDLE;
    if (!lpcCount || !lpBuffer || !lpBufferSize) return ERROR_INVALID_PARAMETER;
    lpBuffer->clear();
    const std::uint32_t wanted = *lpcCount;
    *lpcCount = 0;
    if (hEnum->next >= hEnum->entries.size()) return ERROR_NO_MORE_ITEMS;

    std::size_t used = 0;
    while (hEnum->next < hEnum->entries.size() && *lpcCount < wanted) {
        const NetResource& entry = hEnum->entries[hEnum->next];
        if (used + entry.bufferSize() > *lpBufferSize) break;
        used += entry.bufferSize();
        lpBuffer->push_back(entry);
        ++hEnum->next;
        ++*lpcCount;
    }
    if (*lpcCount == 0) {
        *lpBufferSize = static_cast<std::uint32_t>(hEnum->entries[hEnum->next].bufferSize());
        return ERROR_MORE_DATA;
    }
    return NO_ERROR;
}

std::uint32_t NetworkEnumeration::WNetCloseEnum(EnumHandle hEnum) const {
    if (!hEnum) return ERROR_INVALID_HANDLE;
    if (hEnum->walking) {
        hEnum->walking->store(false);
        std::lock_guard lock(walks_->mutex);
        std::erase_if(walks_->prefetched,
                      [hEnum](const auto& entry) { return entry.second.first == hEnum->walking; });
    }
    delete hEnum;
    return NO_ERROR;
}

std::shared_ptr<NetworkEnumeration::Prefetch>
NetworkEnumeration::takePrefetch(const NetResource& container) const {
    if (!container.lpProvider) return nullptr;
    std::lock_guard lock(walks_->mutex);
    const auto found = walks_->prefetched.find(keyOf(*container.lpProvider, container));
    if (found == walks_->prefetched.end()) return nullptr;
    auto prefetch = std::move(found->second.second);
    walks_->prefetched.erase(found);
    return prefetch;
}

} // namespace platform
