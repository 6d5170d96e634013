// One side of the neighbourhood's start-up benchmark, as a whole process (loading the
// SMB and Avahi libraries is part of the start-up): "providers" starts the neighbourhood
// (announcement, name sources) and enumerates every provider once, all at once, as the
// tray menu's scan asks their networks; "none" enumerates no provider at
// all. Prints the number of entries found. Timed by neighbourhood_startup.sh, which gives
// it an Avahi daemon and no SMB master in a network namespace of its own;
// startup_to_listening.py times the program itself.
//
//   bench_neighbourhood_startup providers|none
#include "platform/neighbourhood/NetworkNeighbourhood.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Providers = std::vector<std::shared_ptr<platform::NetworkProvider>>;

const std::vector<platform::NetResource> none;

// Every container of a provider's tree below its network record, on this thread's event
// loop: each answer asks for its domains and counts its entries, and `outstanding` counts
// the asks not yet answered.
struct EventLoopWalk {
    platform::NetworkProvider& provider;
    std::size_t& count;
    int& outstanding;
    QEventLoop& loop;

    void ask(const platform::NetResource& container) const {
        if (!provider.ask(container, *this)) return;
        ++outstanding;
    }
    void operator()(platform::NetworkProvider::Answer answer) const {
        for (const platform::NetResource& child : answer.value_or(none)) {
            ++count;
            if (child.dwDisplayType == platform::RESOURCEDISPLAYTYPE_DOMAIN) ask(child);
        }
        if (--outstanding == 0) loop.quit();
    }
};

// Every provider at once; the count of entries.
std::size_t enumerate(const Providers& providers) {
    std::size_t count = 0;
    QEventLoop loop;
    int outstanding = 0;
    for (const auto& provider : providers)
        EventLoopWalk{*provider, count, outstanding, loop}.ask(
            platform::networkRecord(provider->providerName()));
    if (outstanding > 0) loop.exec();
    return count;
}

} // namespace

int main(int argc, char** argv) {
    // The announcement is served by this thread's event loop, as in the program.
    QCoreApplication application(argc, argv);
    const std::string side = argc > 1 ? argv[1] : "";
    std::size_t entries = 0;
    if (side == "providers") {
        const auto neighbourhood = platform::startSystemNeighbourhood(2200);
        entries = enumerate(neighbourhood->providers());
    } else if (side == "none") {
        entries = enumerate({});
    } else {
        std::fprintf(stderr, "usage: bench_neighbourhood_startup providers|none\n");
        return 2;
    }
    std::printf("%zu\n", entries);
    return 0;
}
