#include "app/NetworkScan.h"

#include "app/OffThreadCall.h"

#include <algorithm>

namespace app {

using namespace platform;
using Clock = std::chrono::steady_clock;

namespace {

struct Opened {
    std::uint32_t result = ERROR_NO_NETWORK;
    EnumHandle handle = nullptr;
};

// The enumeration returns by the container's bound itself; the hand-off waits this much
// longer only for the worker's start and the answer's way back.
constexpr std::chrono::milliseconds handOffMargin{500};

// A provider that throws counts as one whose container cannot be opened: no error of
// the scan reaches the user.
Opened openOn(const NetworkEnumeration& enumeration, const NetResource* container,
              Clock::time_point answerBy) {
    Opened opened;
    try {
        opened.result = enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0,
                                                  container, &opened.handle, answerBy);
    } catch (...) {
        opened = {};
    }
    return opened;
}

// Closes an opened enumeration however its listing ends.
class OpenedEnumeration {
public:
    OpenedEnumeration(const NetworkEnumeration& enumeration, EnumHandle handle)
        : enumeration_(enumeration), handle_(handle) {}
    ~OpenedEnumeration() { enumeration_.WNetCloseEnum(handle_); }
    OpenedEnumeration(const OpenedEnumeration&) = delete;
    OpenedEnumeration& operator=(const OpenedEnumeration&) = delete;

    // Every entry, asking again while the container has more than one buffer holds. An
    // entry larger than a whole buffer is asked for with the size it needs, rather than
    // ending the listing there.
    std::vector<NetResource> allEntries(std::uint32_t bufferSize) {
        std::vector<NetResource> entries;
        for (;;) {
            std::vector<NetResource> batch;
            std::uint32_t count = enumAllEntries;
            std::uint32_t size = bufferSize;
            std::uint32_t result = enumeration_.WNetEnumResourceA(handle_, &count, &batch, &size);
            if (result == ERROR_MORE_DATA && count == 0 && size > bufferSize) {
                count = enumAllEntries;
                result = enumeration_.WNetEnumResourceA(handle_, &count, &batch, &size);
            }
            if ((result != NO_ERROR && result != ERROR_MORE_DATA) || count == 0) break;
            const std::size_t taken = std::min<std::size_t>(count, batch.size());
            entries.insert(entries.end(), std::make_move_iterator(batch.begin()),
                           std::make_move_iterator(batch.begin() + static_cast<long>(taken)));
        }
        return entries;
    }

private:
    const NetworkEnumeration& enumeration_;
    EnumHandle handle_;
};

} // namespace

NetworkScan::NetworkScan(std::shared_ptr<const NetworkEnumeration> enumeration, NameLists& lists,
                         std::chrono::milliseconds bound, std::chrono::milliseconds containerBound)
    : enumeration_(std::move(enumeration)), lists_(lists), deadline_(Clock::now() + bound),
      containerBound_(containerBound) {}

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
        if (!opensToChildren(*K)) return;
    }
    if (depth >= maxDepth) return;

    // The worker gets its own copy of the container: this frame may be gone by the time
    // a call that was given up returns.
    std::optional<NetResource> container;
    if (K) container = *K;
    const auto enumeration = enumeration_;
    const auto now = Clock::now();
    const auto answerBy = std::min(deadline_, now + containerBound_);
    const auto opened = callOffThread<Opened>(
        [enumeration, container, answerBy] {
            return openOn(*enumeration, container ? &*container : nullptr, answerBy);
        },
        [enumeration](Opened& late) {
            if (late.result == NO_ERROR) enumeration->WNetCloseEnum(late.handle);
        },
        std::max(answerBy, now) + handOffMargin);
    // Given up, or not opened: nothing below this container, and the scan goes on.
    if (!opened || opened->result != NO_ERROR) return;

    OpenedEnumeration open(*enumeration_, opened->handle);
    const std::vector<NetResource> entries = open.allEntries(resultBufferSize);
    for (const NetResource& entry : entries)
        ScanNetwork(&entry, lastDomainIndex(), depth + 1);

    // A NetWare network found first hides the Windows network's own top: that one is
    // enumerated as well, even when it was listed already.
    if (!entries.empty() && entries[0].dwDisplayType == RESOURCEDISPLAYTYPE_NETWORK &&
        entries[0].lpProvider == std::optional<std::string>("NetWare")) {
        NetResource microsoftNetwork;
        microsoftNetwork.dwScope = RESOURCE_GLOBALNET;
        microsoftNetwork.dwType = RESOURCETYPE_ANY;
        microsoftNetwork.dwDisplayType = RESOURCEDISPLAYTYPE_NETWORK;
        microsoftNetwork.dwUsage = RESOURCEUSAGE_CONTAINER;
        microsoftNetwork.lpComment = std::string();
        microsoftNetwork.lpProvider = std::string("Microsoft Network");
        ScanNetwork(&microsoftNetwork, lastDomainIndex(), depth + 1);
    }
}

} // namespace app
