#include "platform/sockets/PosixSockets.h"

#include "platform/sockets/HostLookup.h"
#include "work/WorkPool.h"

#include <QCoreApplication>
#include <QPointer>
#include <unordered_map>

// Name lookups block in the system resolver and the neighbourhood's name sources, so each
// runs as a job of the program's work pool, which hands its result back on the
// user-interface thread; there it is delivered to the socket's window. Lookups are
// started, cancelled and completed on that thread only, so their table needs no lock.
namespace platform {
namespace {

struct PendingLookup {
    work::JobId job = 0;
    NotifyWindow* window = nullptr;
};

struct PendingLookups {
    std::unordered_map<LookupHandle, PendingLookup> lookups;
    LookupHandle lastHandle = 0;
};

// Never destroyed, like the pool: a window may go away while the program exits.
PendingLookups& pending() {
    static auto* lookups = new PendingLookups;
    return *lookups;
}

} // namespace

NotifyWindow::NotifyWindow(QObject* parent) : QObject(parent) {}

NotifyWindow::~NotifyWindow() {
    // Every lookup still addressed to this window is given up: none reports to it.
    std::erase_if(pending().lookups, [this](const auto& entry) {
        if (entry.second.window != this) return false;
        work::WorkPool::shared().cancel(entry.second.job);
        return true;
    });
}

LookupHandle PosixSocketLibrary::WSAAsyncGetHostByName(NotifyWindow* window,
                                                       const std::string& name) {
    PendingLookups& p = pending();
    LookupHandle request;
    do {
        request = ++p.lastHandle;
    } while (request == 0 || p.lookups.count(request));
    try {
        const work::JobId job = work::WorkPool::shared().run<HostLookupResult>(
            [name](std::stop_token) { return lookupHost(name); },
            [request,
             target = QPointer<NotifyWindow>(window)](std::optional<HostLookupResult> found) {
                pending().lookups.erase(request);
                if (!target) return;
                // A lookup that could not run at all reports that the name is unknown for
                // now, as a resolver that could not be reached does.
                if (!found) found = HostLookupResult{WSATRY_AGAIN, {}};
                LookupMessage message(request, found->error, std::move(found->addresses));
                QCoreApplication::sendEvent(target, &message);
            });
        p.lookups[request] = {job, window};
    } catch (const std::bad_alloc&) {
        WSASetLastError(WSAENOBUFS);
        return 0;
    }
    return request;
}

int PosixSocketLibrary::WSACancelAsyncRequest(LookupHandle request) {
    PendingLookups& p = pending();
    const auto found = p.lookups.find(request);
    if (found == p.lookups.end()) {
        WSASetLastError(WSAEINVAL);
        return SOCKET_ERROR;
    }
    work::WorkPool::shared().cancel(found->second.job);
    p.lookups.erase(found);
    return 0;
}

} // namespace platform
