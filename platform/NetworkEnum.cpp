#include "platform/NetworkEnum.h"

namespace platform {

struct EnumState {
    std::vector<NetResource> entries;
    std::size_t next = 0;
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
            state->entries.push_back(std::move(network));
        }
    } else {
        const auto provider = providerNamed(lpNetResource->lpProvider);
        if (!provider) return ERROR_BAD_PROVIDER;
        auto children = provider->children(*lpNetResource);
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
    delete hEnum;
    return NO_ERROR;
}

} // namespace platform
