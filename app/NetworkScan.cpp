#include "app/NetworkScan.h"

#include "app/OffThreadCall.h"

namespace app {

using namespace platform;

namespace {

struct Opened {
    std::uint32_t result = ERROR_NO_NETWORK;
    EnumHandle handle = nullptr;
};

struct Listed {
    std::uint32_t count = 0;
    std::vector<NetResource> entries;
};

// A provider that throws counts as one whose container cannot be opened: no error of
// the scan reaches the user.
Opened openOn(const NetworkEnumeration& enumeration, const NetResource* container) {
    Opened opened;
    try {
        opened.result = enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0,
                                                  container, &opened.handle);
    } catch (...) {
        opened = {};
    }
    return opened;
}

} // namespace

NetworkScan::NetworkScan(std::shared_ptr<const NetworkEnumeration> enumeration, NameLists& lists,
                         std::chrono::milliseconds bound)
    : enumeration_(std::move(enumeration)), lists_(lists),
      deadline_(std::chrono::steady_clock::now() + bound) {}

void NetworkScan::run() {
    ScanNetwork(nullptr, -1);
}

void NetworkScan::ScanNetwork(const NetResource* K, int p, int depth) {
    if (K) {
        if (K->dwType == RESOURCETYPE_PRINT) return;
        const std::string remoteName = K->lpRemoteName.value_or(std::string());
        if (K->dwDisplayType == RESOURCEDISPLAYTYPE_DOMAIN) lists_.domains.push_back(remoteName);
        // A computer's remote name begins with two backslashes.
        if (K->dwDisplayType == RESOURCEDISPLAYTYPE_SERVER)
            lists_.computers.push_back(
                {remoteName.size() > 2 ? remoteName.substr(2, 64) : std::string(), p});
        switch (K->dwDisplayType) {
        case RESOURCEDISPLAYTYPE_DOMAIN:
        case RESOURCEDISPLAYTYPE_NETWORK:
        case RESOURCEDISPLAYTYPE_ROOT:
            break;
        default:
            return;
        }
    }
    if (givenUp_ || depth >= maxDepth) return;

    // The worker gets its own copy of the container: this frame may be gone by the time
    // a call that was given up returns.
    std::optional<NetResource> container;
    if (K) container = *K;
    const auto enumeration = enumeration_;
    const auto opened = callOffThread<Opened>(
        [enumeration, container] {
            return openOn(*enumeration, container ? &*container : nullptr);
        },
        [enumeration](Opened& late) {
            if (late.result == NO_ERROR) enumeration->WNetCloseEnum(late.handle);
        },
        deadline_);
    if (!opened) {
        givenUp_ = true;
        return;
    }
    if (opened->result != NO_ERROR) return;

    // All entries at once, as many as the buffer holds; whatever else the container has
    // is not asked for. The enumeration is closed on the worker when the wait is given up.
    const EnumHandle handle = opened->handle;
    const auto listed = callOffThread<Listed>(
        [enumeration, handle] {
            Listed listed;
            listed.count = enumAllEntries;
            std::uint32_t size = resultBufferSize;
            try {
                enumeration->WNetEnumResourceA(handle, &listed.count, &listed.entries, &size);
            } catch (...) {
                listed = {};
            }
            return listed;
        },
        [enumeration, handle](Listed&) { enumeration->WNetCloseEnum(handle); }, deadline_);
    if (!listed) {
        givenUp_ = true;
        return;
    }
    const int count = static_cast<std::int32_t>(listed->count);
    for (int i = 0; i < count && i < static_cast<int>(listed->entries.size()); ++i)
        ScanNetwork(&listed->entries[static_cast<std::size_t>(i)], lastDomainIndex(), depth + 1);

    // A NetWare network found first hides the Windows network's own top: that one is
    // enumerated as well, even when it was listed already.
    if (count > 0 && !listed->entries.empty() &&
        listed->entries[0].dwDisplayType == RESOURCEDISPLAYTYPE_NETWORK &&
        listed->entries[0].lpProvider == std::optional<std::string>("NetWare")) {
        NetResource microsoftNetwork;
        microsoftNetwork.dwScope = RESOURCE_GLOBALNET;
        microsoftNetwork.dwType = RESOURCETYPE_ANY;
        microsoftNetwork.dwDisplayType = RESOURCEDISPLAYTYPE_NETWORK;
        microsoftNetwork.dwUsage = RESOURCEUSAGE_CONTAINER;
        microsoftNetwork.lpComment = std::string();
        microsoftNetwork.lpProvider = std::string("Microsoft Network");
        ScanNetwork(&microsoftNetwork, lastDomainIndex(), depth + 1);
    }
    enumeration_->WNetCloseEnum(handle);
}

} // namespace app
