#include "app/NetworkScan.h"

#include "work/WorkPool.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace app {

using namespace platform;
using Clock = std::chrono::steady_clock;

namespace {

// An open's answer. A handle nobody took is closed by whoever lets go of the answer last:
// the scan, or, for an answer that came after the scan gave up, the pool's thread.
class Opened {
public:
    explicit Opened(std::shared_ptr<const NetworkEnumeration> enumeration)
        : enumeration_(std::move(enumeration)) {}
    Opened(Opened&& other) noexcept
        : enumeration_(std::move(other.enumeration_)), result_(other.result_),
          handle_(std::exchange(other.handle_, nullptr)) {}
    Opened& operator=(Opened&&) = delete;
    ~Opened() {
        if (handle_) enumeration_->WNetCloseEnum(handle_);
    }

    // A provider that throws counts as one whose container cannot be opened: no error of
    // the scan reaches the user.
    void open(const NetResource* container, Clock::time_point answerBy) {
        try {
            result_ = enumeration_->WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0,
                                                  container, &handle_, answerBy);
        } catch (...) {
            result_ = ERROR_NO_NETWORK;
        }
        if (result_ != NO_ERROR) handle_ = nullptr;
    }

    // The open handle, now the caller's to close; none when the container was not opened.
    EnumHandle take() { return std::exchange(handle_, nullptr); }

private:
    std::shared_ptr<const NetworkEnumeration> enumeration_;
    std::uint32_t result_ = ERROR_NO_NETWORK;
    EnumHandle handle_ = nullptr;
};

// The enumeration returns by the container's bound itself; the wait lasts this much
// longer only for the pool's start of the job and the answer's way back.
constexpr std::chrono::milliseconds handOffMargin{500};

// Opens `container` as a job of the work pool while this (the user-interface) thread keeps
// serving its events in a nested loop. The wait ends at `waitUntil`, or when the
// program's loops are told to end: the job is then cancelled, so a job that has not
// started never does, and one that is running goes on alone and closes its late answer
// on its own thread.
std::optional<Opened> openOffThread(const std::shared_ptr<const NetworkEnumeration>& enumeration,
                                    std::optional<NetResource> container,
                                    Clock::time_point answerBy, Clock::time_point waitUntil,
                                    QEventLoop*& waiting) {
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(waitUntil - Clock::now());
    if (remaining.count() <= 0) return std::nullopt;

    work::WorkPool& pool = work::WorkPool::shared();
    QEventLoop loop;
    bool answered = false;
    std::optional<Opened> answer;
    // The completion runs on this thread while this frame waits (in this loop or one
    // nested in it), and never once the job is cancelled, so it may reach into the frame.
    const work::JobId job = pool.run<Opened>(
        [enumeration, container = std::move(container), answerBy](std::stop_token) {
            Opened opened(enumeration);
            opened.open(container ? &*container : nullptr, answerBy);
            return opened;
        },
        [&](std::optional<Opened> opened) {
            answered = true;
            if (opened) answer.emplace(std::move(*opened));
            loop.exit(0);
        });
    QTimer::singleShot(remaining, &loop, [&loop] { loop.exit(1); });
    waiting = &loop;
    loop.exec();
    waiting = nullptr;
    if (!answered) pool.cancel(job);
    return answer;
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

void NetworkScan::stop() {
    stopped_ = true;
    if (waiting_) waiting_->exit(1);
}

void NetworkScan::ScanNetwork(const NetResource* K, int p, int depth) {
    if (K) {
        if (K->dwType == RESOURCETYPE_PRINT) return;
        const std::string remoteName = K->lpRemoteName.value_or(std::string());
        // A domain the list has no room for is not opened: its computers would be taken
        // for the last listed domain's.
        if (K->dwDisplayType == RESOURCEDISPLAYTYPE_DOMAIN && !lists_.addDomain(remoteName)) return;
        // A computer's remote name begins with two backslashes.
        if (K->dwDisplayType == RESOURCEDISPLAYTYPE_SERVER)
            lists_.addComputer(
                {remoteName.size() > 2 ? remoteName.substr(2, 64) : std::string(), p});
        if (!opensToChildren(*K)) return;
    }
    if (depth >= maxDepth || stopped_) return;

    // The job gets its own copy of the container: this frame may be gone by the time a
    // call that was given up returns.
    std::optional<NetResource> container;
    if (K) container = *K;
    const auto now = Clock::now();
    const auto answerBy = std::min(deadline_, now + containerBound_);
    std::optional<Opened> opened = openOffThread(enumeration_, std::move(container), answerBy,
                                                 std::max(answerBy, now) + handOffMargin, waiting_);
    // Given up, or not opened: nothing below this container, and the scan goes on.
    const EnumHandle handle = opened ? opened->take() : nullptr;
    if (!handle) return;

    OpenedEnumeration open(*enumeration_, handle);
    const std::vector<NetResource> entries = open.allEntries(resultBufferSize);
    for (const NetResource& entry : entries) {
        if (stopped_) return;
        ScanNetwork(&entry, lastDomainIndex(), depth + 1);
    }

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
