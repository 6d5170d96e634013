// The tray menu's scan over this computer's real neighbourhood, for the tests that run the
// daemons in network namespaces:
//
//   scan_probe BOUND_MS    one scan with that bound, as at start-up (3000) or on
//                          "Refresh" (30000): "domain NAME" and "computer PARENT<TAB>NAME"
//                          lines in the lists' order, then "elapsed MS"
#include "app/NetworkScan.h"
#include "platform/neighbourhood/NetworkEnum.h"
#include "platform/neighbourhood/NetworkNeighbourhood.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: scan_probe BOUND_MS\n");
        return 2;
    }
    const std::shared_ptr<platform::SystemNeighbourhood> neighbourhood =
        platform::startSystemNeighbourhood(2200);
    app::NameLists lists;
    QElapsedTimer clock;
    clock.start();
    app::NetworkScan(std::make_shared<platform::NetworkEnumeration>(neighbourhood->providers()),
                     lists, std::chrono::milliseconds(std::atoi(argv[1])))
        .run();
    const qint64 elapsed = clock.elapsed();
    for (const std::string& domain : lists.domains)
        std::printf("domain %s\n", domain.c_str());
    for (const app::ComputerEntry& computer : lists.computers)
        std::printf("computer %d\t%s\n", computer.parent, computer.name.c_str());
    std::printf("elapsed %lld\n", static_cast<long long>(elapsed));
    // A provider call given up at the bound may still be waiting on the network: the
    // process ends without waiting for it.
    std::fflush(stdout);
    std::_Exit(0);
}
