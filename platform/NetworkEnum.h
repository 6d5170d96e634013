#pragma once

#include "platform/NetworkNeighbourhood.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Enumeration of the network neighbourhood in the shape of open / enumerate / close: a
// container is opened, its children are asked for into a result buffer of a given size,
// and the enumeration is closed. The top of the neighbourhood (no container) lists one
// network record per provider; any other container is opened by the provider whose name
// it carries in lpProvider.
//
// The calls block while a provider waits on the network, so callers on the user-interface
// thread run them on a worker thread. One enumeration may be used from several threads;
// one handle is used by one thread at a time.
namespace platform {

inline constexpr std::uint32_t NO_ERROR = 0;
inline constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::uint32_t ERROR_MORE_DATA = 234;
inline constexpr std::uint32_t ERROR_NO_MORE_ITEMS = 259;
inline constexpr std::uint32_t ERROR_BAD_PROVIDER = 1204;
inline constexpr std::uint32_t ERROR_NO_NETWORK = 1222;
inline constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;

// The count that asks for as many entries as fit in the buffer.
inline constexpr std::uint32_t enumAllEntries = 0xFFFFFFFFu;

struct EnumState;
using EnumHandle = EnumState*;

class NetworkEnumeration {
public:
    explicit NetworkEnumeration(std::vector<std::shared_ptr<NetworkProvider>> providers);
    ~NetworkEnumeration();
    NetworkEnumeration(const NetworkEnumeration&) = delete;
    NetworkEnumeration& operator=(const NetworkEnumeration&) = delete;

    // Opens the children of `lpNetResource` (none: the top). Only the scope
    // RESOURCE_GLOBALNET is known. On success *lphEnum is a handle to close.
    std::uint32_t WNetOpenEnumA(std::uint32_t dwScope, std::uint32_t dwType, std::uint32_t dwUsage,
                                const NetResource* lpNetResource, EnumHandle* lphEnum) const;

    // Hands out the next entries, in order: at most *lpcCount of them (enumAllEntries:
    // no limit) and no more than fit in *lpBufferSize bytes, each entry taking
    // NetResource::bufferSize(). *lpcCount becomes the number handed out. When not even the
    // next entry fits the result is ERROR_MORE_DATA with a count of 0 and *lpBufferSize the
    // size it needs; when none is left, ERROR_NO_MORE_ITEMS with a count of 0.
    std::uint32_t WNetEnumResourceA(EnumHandle hEnum, std::uint32_t* lpcCount,
                                    std::vector<NetResource>* lpBuffer,
                                    std::uint32_t* lpBufferSize) const;

    std::uint32_t WNetCloseEnum(EnumHandle hEnum) const;

private:
    struct Prefetch;

    std::shared_ptr<NetworkProvider> providerNamed(const std::optional<std::string>& name) const;
    void startPrefetch(const std::shared_ptr<NetworkProvider>& provider, const NetResource& network,
                       const EnumState* top) const;
    std::shared_ptr<Prefetch> takePrefetch(const NetResource& container) const;

    std::vector<std::shared_ptr<NetworkProvider>> providers_;
    // Opening the top asks every provider for its network record's children at once, each
    // on a thread of its own, so that a scan waits for the slowest network rather than for
    // the sum of them all. The answers are taken by the first opening of each network
    // record while that top stays open; closing it drops what was not taken.
    mutable std::mutex prefetchMutex_;
    mutable std::map<std::string, std::pair<const EnumState*, std::shared_ptr<Prefetch>>>
        prefetched_;
};

} // namespace platform
