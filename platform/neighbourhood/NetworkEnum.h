#pragma once

#include "platform/neighbourhood/NetworkNeighbourhood.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Enumeration of the network neighbourhood in the shape of open / enumerate / close: a
// container is opened, its children are asked for into a result buffer of a given size,
// and the enumeration is closed. The top of the neighbourhood (no container) lists one
// network record per provider; any other container is opened by the provider whose name
// it carries in lpProvider.
//
// The calls block while a provider waits on the network, so callers on the user-interface
// thread run them on the work pool. One enumeration may be used from several threads; one
// handle is used by one thread at a time. The first enumeration is made on the
// user-interface thread, which receives the pool's completions.
//
// Opening the top starts, for each provider at once, a walk of its network on the work
// pool: its network record's children, then the children of each container among them.
// The walk asks in the order a scan opens, so a scan finds each answer waiting or on its
// way, and a provider whose network is slow or silent keeps nobody from the others. A
// provider is asked one thing at a time, so it never holds more than one of the pool's
// threads, even when its calls do not return.
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

// Whether a scan opens this record to list its children: networks, roots, domains and
// workgroups; never a printer, whatever it says it is.
inline bool opensToChildren(const NetResource& record) {
    if (record.dwType == RESOURCETYPE_PRINT) return false;
    return record.dwDisplayType == RESOURCEDISPLAYTYPE_DOMAIN ||
           record.dwDisplayType == RESOURCEDISPLAYTYPE_NETWORK ||
           record.dwDisplayType == RESOURCEDISPLAYTYPE_ROOT;
}

class NetworkEnumeration {
public:
    explicit NetworkEnumeration(std::vector<std::shared_ptr<NetworkProvider>> providers);
    ~NetworkEnumeration();
    NetworkEnumeration(const NetworkEnumeration&) = delete;
    NetworkEnumeration& operator=(const NetworkEnumeration&) = delete;

    using Clock = std::chrono::steady_clock;

    // Opens the children of `lpNetResource` (none: the top). Only the scope
    // RESOURCE_GLOBALNET is known. On success *lphEnum is a handle to close.
    // A provider's answer is waited for until `answerBy`: a container whose provider has not
    // answered by then counts as one that cannot be opened (ERROR_NO_NETWORK), and its late
    // answer is dropped. An answer already at hand is taken whenever the call comes, so a
    // call after `answerBy` returns at once with what has arrived.
    std::uint32_t WNetOpenEnumA(std::uint32_t dwScope, std::uint32_t dwType, std::uint32_t dwUsage,
                                const NetResource* lpNetResource, EnumHandle* lphEnum,
                                Clock::time_point answerBy = Clock::time_point::max()) const;

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
    struct Walks;
    struct Lane;

    std::shared_ptr<NetworkProvider> providerNamed(const std::optional<std::string>& name) const;
    std::shared_ptr<Prefetch> takePrefetch(const NetResource& container) const;
    std::shared_ptr<Lane> laneOf(const std::shared_ptr<NetworkProvider>& provider) const;

    std::vector<std::shared_ptr<NetworkProvider>> providers_;
    // The answers of the walks that opening the top started, each taken by the first opening
    // of its container while that top stays open; closing the top drops what was not taken
    // and ends its walks after their current call. Shared with the walks, which may outlive
    // this object when a scan was given up.
    std::shared_ptr<Walks> walks_;
};

} // namespace platform
