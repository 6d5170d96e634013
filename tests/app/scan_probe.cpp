// The tray menu's scan over this computer's real neighbourhood, for the tests that run the
// daemons in network namespaces:
//
//   scan_probe BOUND_MS        one scan with that bound, as at start-up or on "Refresh"
//                              (30000): "domain NAME" and "computer PARENT<TAB>NAME" lines
//                              in the lists' order, then "elapsed MS"
//   scan_probe BOUND_MS menu   the same, then the Chat submenu built from the lists as the
//                              tray menu builds it (run with QT_QPA_PLATFORM=offscreen):
//                              "menu MS" (building it and showing each of its menus once),
//                              "fits yes|no" (every menu within the screen, one column that
//                              scrolls, so that every row is reachable), "peak KB",
//                              the most memory the process held, and "gap MS", the
//                              longest the event loop went unserved during the scan
#include "app/ChatMenu.h"
#include "app/NetworkScan.h"
#include "app/TrayMenu.h"
#include "platform/neighbourhood/NetworkNeighbourhood.h"
#include "tests/support/EventLoop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QScreen>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

namespace {

long peakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// Builds the Chat submenu and shows each of its menus once: how long that took, and
// whether every menu stayed within the screen.
void reportMenu(const app::NameLists& lists) {
    QMenu tray;
    const app::TrayMenuItems items = app::buildTrayMenu(tray);
    QMenu chat;
    QElapsedTimer clock;
    clock.start();
    app::buildChatMenu(*items.mnuChat, chat, lists, [](QAction*) {});
    const QRect screen = chat.screen()->availableGeometry();
    bool fits = true;
    std::vector<QMenu*> menus{&chat};
    for (QAction* item : chat.actions())
        if (item->menu()) menus.push_back(item->menu());
    for (QMenu* menu : menus) {
        menu->popup(screen.topLeft());
        // The toolkit keeps a menu within the screen by cutting it: every row is reachable
        // only when the menu is one column (which scrolls when it is taller).
        const auto actions = menu->actions();
        const bool oneColumn = std::all_of(actions.begin(), actions.end(), [&](QAction* item) {
            return menu->actionGeometry(item).left() == menu->actionGeometry(actions[0]).left();
        });
        fits = fits && oneColumn && menu->width() <= screen.width() &&
               menu->height() <= screen.height();
        menu->hide();
    }
    std::printf("menu %lld\nfits %s\n", static_cast<long long>(clock.elapsed()),
                fits ? "yes" : "no");
}

} // namespace

int main(int argc, char** argv) {
    const bool menu = argc == 3 && std::strcmp(argv[2], "menu") == 0;
    if (argc != 2 && !menu) {
        std::fprintf(stderr, "usage: scan_probe BOUND_MS [menu]\n");
        return 2;
    }
    std::unique_ptr<QCoreApplication> application;
    if (menu)
        application = std::make_unique<QApplication>(argc, argv);
    else
        application = std::make_unique<QCoreApplication>(argc, argv);
    const std::shared_ptr<platform::SystemNeighbourhood> neighbourhood =
        platform::startSystemNeighbourhood(2200);
    app::NameLists lists;
    QElapsedTimer clock;
    clock.start();
    const long long longestPause = testsupport::longestLoopPause([&] {
        app::NetworkScan(std::make_shared<app::NetworkProviders>(neighbourhood->providers()), lists,
                         std::chrono::milliseconds(std::atoi(argv[1])))
            .run();
    });
    const qint64 elapsed = clock.elapsed();
    for (const std::string& domain : lists.domains)
        std::printf("domain %s\n", domain.c_str());
    for (const app::ComputerEntry& computer : lists.computers)
        std::printf("computer %d\t%s\n", computer.parent, computer.name.c_str());
    if (menu) {
        reportMenu(lists);
        std::printf("peak %ld\ngap %lld\n", peakKilobytes(), longestPause);
    }
    std::printf("elapsed %lld\n", static_cast<long long>(elapsed));
    // A provider call given up at the bound may still be waiting on the network: the
    // process ends without waiting for it.
    std::fflush(stdout);
    std::_Exit(0);
}
