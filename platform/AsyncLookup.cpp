#include "platform/PosixSockets.h"

#include "platform/HostLookup.h"

#include <QCoreApplication>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

// Name lookups block in the system resolver, so each runs on a worker thread of its own
// that does nothing but the lookup and hands the result to the user-interface thread
// through the window's event queue. A lookup that was cancelled, or whose window is gone,
// never posts.
namespace platform {
namespace {

struct PendingLookups {
    std::recursive_mutex mutex; // a refused post deletes its message under the lock
    // Lookups still running, and the window each will report to.
    std::unordered_map<LookupHandle, NotifyWindow*> windows;
    // Lookups whose completion is posted but not yet delivered: cancelling one of these
    // still succeeds, and its completion reaches a socket that no longer waits for it.
    std::unordered_set<LookupHandle> inFlight;
    LookupHandle lastHandle = 0;
};

// Never destroyed: a worker may finish after the program has begun to exit.
PendingLookups& pending() {
    static auto* lookups = new PendingLookups;
    return *lookups;
}

// A completion on its way to the window; once delivered (or dropped with its window) it
// can no longer be cancelled.
class PostedLookup : public LookupMessage {
public:
    using LookupMessage::LookupMessage;
    ~PostedLookup() override {
        PendingLookups& p = pending();
        std::lock_guard lock(p.mutex);
        p.inFlight.erase(request);
    }
};

LookupMessage* resolve(LookupHandle request, const std::string& name) {
    HostLookupResult found = lookupHost(name);
    return new PostedLookup(request, found.error, std::move(found.addresses));
}

} // namespace

NotifyWindow::NotifyWindow(QObject* parent) : QObject(parent) {}

NotifyWindow::~NotifyWindow() {
    PendingLookups& p = pending();
    std::lock_guard lock(p.mutex);
    std::erase_if(p.windows, [this](const auto& entry) { return entry.second == this; });
}

LookupHandle PosixSocketLibrary::WSAAsyncGetHostByName(NotifyWindow* window,
                                                       const std::string& name) {
    PendingLookups& p = pending();
    LookupHandle request;
    {
        std::lock_guard lock(p.mutex);
        do {
            request = ++p.lastHandle;
        } while (request == 0 || p.windows.count(request));
        p.windows[request] = window;
    }
    try {
        std::thread([request, name] {
            LookupMessage* message = resolve(request, name);
            PendingLookups& lookups = pending();
            std::unique_lock lock(lookups.mutex);
            auto it = lookups.windows.find(request);
            if (it == lookups.windows.end()) {
                lock.unlock(); // the message's destructor takes the lock itself
                delete message;
                return;
            }
            // Posting under the lock keeps the window from being destroyed meanwhile.
            lookups.inFlight.insert(request);
            QCoreApplication::postEvent(it->second, message);
            lookups.windows.erase(it);
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard lock(p.mutex);
        p.windows.erase(request);
        WSASetLastError(WSAENOBUFS);
        return 0;
    }
    return request;
}

int PosixSocketLibrary::WSACancelAsyncRequest(LookupHandle request) {
    PendingLookups& p = pending();
    std::lock_guard lock(p.mutex);
    if (p.windows.erase(request) == 0 && p.inFlight.erase(request) == 0) {
        WSASetLastError(WSAEINVAL);
        return SOCKET_ERROR;
    }
    return 0;
}

} // namespace platform
