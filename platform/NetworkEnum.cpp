#include "platform/NetworkEnum.h"

#include <condition_variable>
#include <exception>
#include <system_error>
#include <thread>

namespace platform {

struct EnumState {
    std::vector<NetResource> entries;
    std::size_t next = 0;
};

// One provider's answer for its network record, filled in by the thread that asks.
struct NetworkEnumeration::Prefetch {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::optional<std::vector<NetResource>> children;
    std::exception_ptr failure;
};

NetworkEnumeration::NetworkEnumeration(std::vector<std::shared_ptr<NetworkProvider>> providers)
    : providers_(std::move(providers)) {
    std::erase(providers_, nullptr);
}

NetworkEnumeration::~NetworkEnumeration() = default;

std::shared_ptr<NetworkProvider>
NetworkEnumeration::providerNamed(const std::optional<std::string>& name) const {
    if (!name) return nullptr;
    for (const auto& provider : providers_)
        if (provider->providerName() == *name) return provider;
    return nullptr;
}

std::uint32_t NetworkEnumeration::WNetOpenEnumA(std::uint32_t dwScope, std::uint32_t, std::uint32_t,
                                                const NetResource* lpNetResource,
                                                EnumHandle* lphEnum) const {
    if (!lphEnum || dwScope != RESOURCE_GLOBALNET) return ERROR_INVALID_PARAMETER;
    *lphEnum = nullptr;
    auto state = std::make_unique<EnumState>();
    if (!lpNetResource) {
        for (const auto& provider : providers_) {
            NetResource network;
            network.dwDisplayType = RESOURCEDISPLAYTYPE_NETWORK;
            network.dwUsage = RESOURCEUSAGE_CONTAINER;
            network.lpRemoteName = provider->providerName();
            network.lpProvider = provider->providerName();
            startPrefetch(provider, network, state.get());
            state->entries.push_back(std::move(network));
        }
    } else {
        const auto provider = providerNamed(lpNetResource->lpProvider);
        if (!provider) return ERROR_BAD_PROVIDER;
        std::optional<std::vector<NetResource>> children;
        if (const auto prefetch = takePrefetch(*lpNetResource)) {
            std::unique_lock lock(prefetch->mutex);
            prefetch->done.wait(lock, [&] { return prefetch->finished; });
            if (prefetch->failure) std::rethrow_exception(prefetch->failure);
            children = std::move(prefetch->children);
        } else {
            children = provider->children(*lpNetResource);
        }
        if (!children) return ERROR_NO_NETWORK;
        state->entries = std::move(*children);
    }
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
    {
        std::lock_guard lock(prefetchMutex_);
        std::erase_if(prefetched_,
                      [hEnum](const auto& entry) { return entry.second.first == hEnum; });
    }
    delete hEnum;
    return NO_ERROR;
}

void NetworkEnumeration::startPrefetch(const std::shared_ptr<NetworkProvider>& provider,
                                       const NetResource& network, const EnumState* top) const {
    auto prefetch = std::make_shared<Prefetch>();
    try {
        // The thread holds the provider and the answer, never this object: a scan that
        // was given up may leave it running after the enumeration is gone.
        std::thread([provider, network, prefetch] {
            std::optional<std::vector<NetResource>> children;
            std::exception_ptr failure;
            try {
                children = provider->children(network);
            } catch (...) {
                failure = std::current_exception();
            }
            std::lock_guard lock(prefetch->mutex);
            prefetch->children = std::move(children);
            prefetch->failure = failure;
            prefetch->finished = true;
            prefetch->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return; // no thread to be had: the record is asked for when it is opened
    }
    std::lock_guard lock(prefetchMutex_);
    prefetched_[provider->providerName()] = {top, std::move(prefetch)};
}

std::shared_ptr<NetworkEnumeration::Prefetch>
NetworkEnumeration::takePrefetch(const NetResource& container) const {
    if (container.dwDisplayType != RESOURCEDISPLAYTYPE_NETWORK || !container.lpRemoteName ||
        container.lpRemoteName != container.lpProvider)
        return nullptr;
    std::lock_guard lock(prefetchMutex_);
    const auto found = prefetched_.find(*container.lpRemoteName);
    if (found == prefetched_.end()) return nullptr;
    auto prefetch = std::move(found->second.second);
    prefetched_.erase(found);
    return prefetch;
}

} // namespace platform
