// The neighbourhood of this computer as the program sees it, for the tests that run the
// real daemons in network namespaces:
//
//   neighbourhood_probe serve           starts the neighbourhood (announcing port 2200)
//                                       and keeps it until stopped
//   neighbourhood_probe list            one full enumeration: "domain PROVIDER<TAB>NAME"
//                                       and "computer PROVIDER<TAB>DOMAIN<TAB>NAME" lines
//   neighbourhood_probe computers DOMAIN
//                                       the computers of one domain, asked for directly
//                                       (not after its network's domains)
//   neighbourhood_probe lookup NAME     the invitation's lookup: dotted addresses, or
//                                       "error N"
//   neighbourhood_probe netbios NAME    the NetBIOS name query alone
#include "platform/neighbourhood/NetbiosLookup.h"
#include "platform/neighbourhood/NetworkNeighbourhood.h"
#include "platform/sockets/HostLookup.h"
#include "tests/support/ScriptedNeighbourhood.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

namespace {

const std::vector<platform::NetResource> none;

void printAddresses(const std::vector<std::uint32_t>& addresses) {
    for (const std::uint32_t address : addresses) {
        in_addr in{};
        in.s_addr = address;
        std::printf("%s\n", inet_ntoa(in));
    }
}

// One provider's whole tree, as lines.
std::string listed(platform::NetworkProvider& provider) {
    const std::string name = provider.providerName();
    const platform::NetResource network = platform::networkRecord(name);
    std::string lines;
    for (const auto& domain : testsupport::answerOf(provider, network).value_or(none)) {
        if (domain.dwDisplayType != platform::RESOURCEDISPLAYTYPE_DOMAIN) continue;
        const std::string domainName = domain.lpRemoteName.value_or("");
        lines += "domain " + name + "\t" + domainName + "\n";
        for (const auto& computer : testsupport::answerOf(provider, domain).value_or(none))
            if (computer.dwDisplayType == platform::RESOURCEDISPLAYTYPE_SERVER)
                lines += "computer " + name + "\t" + domainName + "\t" +
                         computer.lpRemoteName.value_or("") + "\n";
    }
    return lines;
}

// The providers are asked one after the other, on this thread.
void list(const platform::SystemNeighbourhood& neighbourhood) {
    for (const auto& provider : neighbourhood.providers())
        std::fputs(listed(*provider).c_str(), stdout);
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "netbios" && argc == 3) {
        printAddresses(platform::netbiosLookup(argv[2], std::chrono::milliseconds(1500)));
        return 0;
    }
    // The announcement is served by this thread's event loop.
    QCoreApplication application(argc, argv);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    if (command == "serve") sigprocmask(SIG_BLOCK, &stop, nullptr);
    const auto neighbourhood = platform::startSystemNeighbourhood(2200);
    if (command == "serve") {
        // Served until a signal to end comes, which ends the loop.
        const int endSignals = ::signalfd(-1, &stop, SFD_CLOEXEC);
        if (endSignals < 0) return 1;
        QSocketNotifier ended(endSignals, QSocketNotifier::Read);
        QObject::connect(&ended, &QSocketNotifier::activated, &application,
                         &QCoreApplication::quit);
        QCoreApplication::exec();
        ::close(endSignals);
        return 0;
    }
    if (command == "list") {
        list(*neighbourhood);
        return 0;
    }
    if (command == "computers" && argc == 3) {
        platform::NetResource domain;
        domain.dwDisplayType = platform::RESOURCEDISPLAYTYPE_DOMAIN;
        domain.dwUsage = platform::RESOURCEUSAGE_CONTAINER;
        domain.lpRemoteName = argv[2];
        for (const auto& provider : neighbourhood->providers())
            for (const auto& computer : testsupport::answerOf(*provider, domain).value_or(none))
                std::printf("computer %s\t%s\t%s\n", provider->providerName().c_str(), argv[2],
                            computer.lpRemoteName.value_or("").c_str());
        return 0;
    }
    if (command == "lookup" && argc == 3) {
        const platform::HostLookupResult result = platform::lookupHost(argv[2]);
        if (result.error != 0) std::printf("error %d\n", result.error);
        printAddresses(result.addresses);
        return 0;
    }
    std::fprintf(stderr, "usage: neighbourhood_probe serve | list | computers DOMAIN | "
                         "lookup NAME | netbios NAME\n");
    return 2;
}
