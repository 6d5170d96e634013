// The network scan and the Chat submenu over scripted providers: what is listed, in
// which order, under which domain, and what a slow or silent network does to the program.
#include "app/ChatMenu.h"
#include "app/Frminicial.h"
#include "app/NetworkScan.h"
#include "app/TrayMenu.h"
#include "app/TrayStandInWindow.h"
#include "tests/support/EventLoop.h"
#include "tests/support/QtMain.h"
#include "tests/support/ScriptedNeighbourhood.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using app::ComputerEntry;
using app::NameLists;
using namespace testsupport;
using namespace std::chrono_literals;

namespace {

const std::string smb = platform::smbProviderName;

std::shared_ptr<ScriptedProvider> provider(const std::string& name = smb) {
    return std::make_shared<ScriptedProvider>(name);
}

NameLists scan(std::vector<std::shared_ptr<platform::NetworkProvider>> providers,
               std::chrono::milliseconds bound = 10s,
               std::chrono::milliseconds containerBound = app::NetworkScan::defaultContainerBound) {
    NameLists lists;
    app::NetworkScan(std::make_shared<app::NetworkProviders>(std::move(providers)), lists, bound,
                     containerBound)
        .run();
    return lists;
}

QStringList captions(const QMenu* menu) {
    QStringList result;
    if (!menu) return result;
    for (const QAction* item : menu->actions())
        result << item->text();
    return result;
}

} // namespace

TEST(NetworkScan, listsDomainsAndComputersInTheNetworksOrder) {
    struct Case {
        const char* what;
        std::function<void(ScriptedProvider&)> script;
        std::vector<std::string> domains;
        std::vector<ComputerEntry> computers;
    };
    const std::string seventy(70, 'n');
    const Case cases[] = {
        {"one workgroup of three computers",
         [](ScriptedProvider& p) {
             p.script("", {{domainRecord("GRUPO", smb)}});
             p.script("GRUPO", {{serverRecord("ANA", smb), serverRecord("BETO", smb),
                                 serverRecord("CAIO", smb)}});
         },
         {"GRUPO"},
         {{"ANA", 0}, {"BETO", 0}, {"CAIO", 0}}},
        {"computers found before any domain belong to none",
         [](ScriptedProvider& p) {
             p.script("", {{serverRecord("SOLO", smb), domainRecord("D1", smb),
                            domainRecord("D2", smb)}});
             p.script("D1", {{serverRecord("X", smb)}});
             p.script("D2", {{serverRecord("Y", smb)}});
         },
         {"D1", "D2"},
         {{"SOLO", -1}, {"X", 0}, {"Y", 1}}},
        {"a long name is cut to 64 characters",
         [&seventy](ScriptedProvider& p) {
             p.script("", {{domainRecord("GRUPO", smb)}});
             p.script("GRUPO", {{serverRecord(seventy, smb)}});
         },
         {"GRUPO"},
         {{seventy.substr(0, 64), 0}}},
        {"printers and shares are neither listed nor opened",
         [](ScriptedProvider& p) {
             p.script("", {{printerRecord("PRN", smb, platform::RESOURCEDISPLAYTYPE_DOMAIN),
                            domainRecord("GRUPO", smb)}});
             p.script("PRN", {{serverRecord("INSIDE", smb)}});
             p.script("GRUPO",
                      {{shareRecord("\\\\ANA\\docs", smb),
                        printerRecord("\\\\ANA\\laser", smb, platform::RESOURCEDISPLAYTYPE_SHARE),
                        serverRecord("ANA", smb)}});
             p.script("\\\\ANA\\docs", {{serverRecord("SHARED", smb)}});
         },
         {"GRUPO"},
         {{"ANA", 0}}},
        {"a container that cannot be opened, throws or is empty adds nothing below itself",
         [](ScriptedProvider& p) {
             p.script("", {{domainRecord("FORA", smb), domainRecord("QUEBRADO", smb),
                            domainRecord("VAZIO", smb), domainRecord("GRUPO", smb)}});
             p.script("FORA", std::nullopt);
             p.throwFor("QUEBRADO");
             p.script("VAZIO", {{}});
             p.script("GRUPO", {{serverRecord("ANA", smb)}});
         },
         {"FORA", "QUEBRADO", "VAZIO", "GRUPO"},
         {{"ANA", 3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto network = provider();
        c.script(*network);
        const NameLists lists = scan({network});
        EXPECT_EQ(lists.domains, c.domains);
        EXPECT_EQ(lists.computers, c.computers);
    }
}

TEST(NetworkScan, aLargeContainerIsListedWhole) {
    // 500 computers with long comments, one of them longer than 8 KiB.
    auto network = provider();
    std::vector<platform::NetResource> computers;
    std::vector<ComputerEntry> expected;
    for (int i = 0; i < 500; ++i) {
        platform::NetResource record = serverRecord("PC" + std::to_string(i), smb);
        record.lpComment = std::string(i == 250 ? 9000 : 200, 'c');
        computers.push_back(record);
        expected.push_back({"PC" + std::to_string(i), 0});
    }
    network->script("", {{domainRecord("GRUPO", smb)}});
    network->script("GRUPO", computers);
    const NameLists lists = scan({network});
    EXPECT_EQ(lists.computers, expected);
}

TEST(NetworkScan, theListsKeepToTheirCaps) {
    // One machine answering for thousands of made-up computers or workgroups: the lists
    // stop at their caps, in the network's order, and the computers of a workgroup left
    // out never land in the last listed one.
    using Counts = std::vector<std::size_t>; // computers per workgroup
    const struct {
        const char* what;
        Counts scripted;
        std::size_t domains;
        Counts listed;
    } cases[] = {
        {"a workgroup", {600}, 1, {NameLists::maxComputersPerDomain}},
        {"the whole scan", Counts(5, 500), 5, {500, 500, 500, 500, 48}},
        {"workgroups", Counts(NameLists::maxDomains + 20, 1), NameLists::maxDomains,
         Counts(NameLists::maxDomains, 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto network = provider();
        std::vector<platform::NetResource> domains;
        for (std::size_t d = 0; d < c.scripted.size(); ++d) {
            const std::string name = "G" + std::to_string(d);
            domains.push_back(domainRecord(name, smb));
            std::vector<platform::NetResource> computers;
            for (std::size_t i = 0; i < c.scripted[d]; ++i)
                computers.push_back(serverRecord(name + "-" + std::to_string(i), smb));
            network->script(name, computers);
        }
        network->script("", domains);
        const NameLists lists = scan({network});
        EXPECT_EQ(lists.domains.size(), c.domains);
        Counts listed(c.domains, 0);
        for (const ComputerEntry& computer : lists.computers) {
            ASSERT_GE(computer.parent, 0);
            ASSERT_LT(static_cast<std::size_t>(computer.parent), listed.size());
            EXPECT_EQ(computer.name.rfind("G" + std::to_string(computer.parent) + "-", 0), 0u);
            ++listed[static_cast<std::size_t>(computer.parent)];
        }
        EXPECT_EQ(listed, c.listed);
    }
}

TEST(NetworkScan, netWareFirstAlsoListsTheMicrosoftNetworkAgain) {
    auto netware = provider("NetWare");
    auto microsoft = provider("Microsoft Network");
    microsoft->script("", {{domainRecord("GRUPO", "Microsoft Network")}});
    microsoft->script("GRUPO", {{serverRecord("ANA", "Microsoft Network")}});
    NameLists lists = scan({netware, microsoft});
    EXPECT_EQ(lists.domains, (std::vector<std::string>{"GRUPO", "GRUPO"}));
    EXPECT_EQ(lists.computers, (std::vector<ComputerEntry>{{"ANA", 0}, {"ANA", 1}}));

    // Any other network first: each network once.
    lists = scan({provider("Outra"), microsoft});
    EXPECT_EQ(lists.domains, std::vector<std::string>{"GRUPO"});
}

TEST(NetworkScan, aSlowNetworkHidesNobodyOfTheOthers) {
    // The slow network's silent container is its network record or its first workgroup;
    // the network comes before or after a quick one; the bound that cuts it is the whole
    // scan's (as at start-up) or the container's own (as on "&Refresh").
    struct Bounds {
        const char* what;
        std::chrono::milliseconds scan;
        std::chrono::milliseconds container;
    };
    for (const Bounds bounds : {Bounds{"start-up", 300ms, 5s}, Bounds{"refresh", 10s, 300ms}})
        for (const std::string silentContainer : {"", "W1"})
            for (const bool slowFirst : {true, false}) {
                SCOPED_TRACE(std::string(bounds.what) + ", silent container '" + silentContainer +
                             (slowFirst ? "', slow network first" : "', slow network last"));
                auto slow = provider("Lenta");
                slow->script("", {{domainRecord("W1", "Lenta"), domainRecord("W2", "Lenta")}});
                slow->script("W1", {{serverRecord("A", "Lenta")}});
                slow->script("W2", {{serverRecord("B", "Lenta")}});
                slow->holdAnswer(silentContainer);
                auto quick = provider("Rapida");
                quick->script("", {{domainRecord("GRUPO", "Rapida")}});
                quick->script("GRUPO", {{serverRecord("ANA", "Rapida")}});

                int ticks = 0;
                QTimer ticker;
                QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
                ticker.start(10);
                QElapsedTimer clock;
                clock.start();
                const NameLists lists = slowFirst
                                            ? scan({slow, quick}, bounds.scan, bounds.container)
                                            : scan({quick, slow}, bounds.scan, bounds.container);
                const qint64 elapsed = clock.elapsed();
                ticker.stop();

                // The slow network's workgroups are listed when its record answered; the
                // second one's computers wait behind the first on that network.
                std::vector<std::string> slowDomains;
                if (!silentContainer.empty()) slowDomains = {"W1", "W2"};
                std::vector<std::string> domains = slowDomains;
                const int grupo = slowFirst ? static_cast<int>(slowDomains.size()) : 0;
                domains.insert(slowFirst ? domains.end() : domains.begin(), "GRUPO");
                EXPECT_EQ(lists.domains, domains);
                EXPECT_EQ(lists.computers, (std::vector<ComputerEntry>{{"ANA", grupo}}));
                EXPECT_LT(elapsed, 2000) << "the scan ended by its bounds";
                EXPECT_GE(ticks, 10) << "the user-interface thread served its timer";

                // Late answers go nowhere.
                slow->release();
                ASSERT_TRUE(waitUntil([&] { return slow->answered() >= 1; }));
                spin(20);
            }
}

TEST(NetworkScan, aProviderThatHangsIsAskedOnceHoweverOftenItIsScanned) {
    // While a provider's first ask hangs, later scans wait behind it rather than pile up
    // more asks on it; once it answers, what they asked is not asked any more, and the
    // next scan lists the network.
    auto stuck = provider();
    stuck->script("", {{domainRecord("GRUPO", smb)}});
    stuck->script("GRUPO", {{serverRecord("ANA", smb)}});
    stuck->holdAnswers();
    const auto providers = std::make_shared<app::NetworkProviders>(
        std::vector<std::shared_ptr<platform::NetworkProvider>>{stuck});
    NameLists lists;
    for (int i = 0; i < 3; ++i)
        app::NetworkScan(providers, lists, 50ms).run();
    EXPECT_EQ(stuck->calls(), 1);
    EXPECT_TRUE(lists.computers.empty());

    stuck->release();
    ASSERT_TRUE(waitUntil([&] { return stuck->answered() == 1; }));
    app::NetworkScan(providers, lists, 5s).run();
    EXPECT_EQ(lists.computers, (std::vector<ComputerEntry>{{"ANA", 0}}));
    EXPECT_EQ(stuck->calls(), 3);
}

TEST(ChatMenu, domainsOpenToTheirComputersThenComputersOfNoDomain) {
    QMenu menu;
    const app::TrayMenuItems items = app::buildTrayMenu(menu);
    QMenu holder;
    NameLists lists;
    lists.domains = {"GRUPO", "VAZIO"};
    lists.computers = {{"ANA", 0}, {"SOLO", -1}, {"R&D", 0}};
    std::vector<std::string> picked;
    const auto pick = [&](QAction* item) { picked.push_back(app::computerName(*item)); };
    app::buildChatMenu(*items.mnuChat, holder, lists, pick);

    ASSERT_EQ(items.mnuChat->menu(), &holder);
    EXPECT_EQ(captions(&holder), QStringList({"GRUPO", "VAZIO", "SOLO"}));
    QAction* grupo = holder.actions()[0];
    EXPECT_EQ(app::menuTag(grupo), app::domainItemTag);
    EXPECT_EQ(holder.actions()[1]->menu(), nullptr) << "a domain without computers";
    EXPECT_EQ(captions(grupo->menu()), QStringList({"ANA", "R&&D"}));
    QAction* rd = grupo->menu()->actions()[1];
    EXPECT_EQ(app::menuTag(rd), app::computerItemTag);
    rd->trigger();
    holder.actions()[1]->trigger();
    EXPECT_EQ(picked, std::vector<std::string>{"R&D"});

    // Rebuilt from empty lists: "&Chat" opens nothing, and the old items are gone.
    const QPointer<QMenu> oldComputers = grupo->menu();
    app::buildChatMenu(*items.mnuChat, holder, NameLists{}, pick);
    EXPECT_EQ(items.mnuChat->menu(), nullptr);
    EXPECT_TRUE(holder.isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(oldComputers.isNull());

    // Hundreds of computers: each menu stays within the screen, one column that scrolls,
    // rather than columns wider than the screen whose rows past its edge nobody reaches.
    lists.domains = {"GRUPO"};
    lists.computers.clear();
    for (int i = 0; i < 500; ++i) {
        lists.computers.push_back({"PC-" + std::to_string(i), 0});
        lists.computers.push_back({"SOLO-" + std::to_string(i), -1});
    }
    app::buildChatMenu(*items.mnuChat, holder, lists, pick);
    const QRect screen = holder.screen()->availableGeometry();
    for (QMenu* shown : {&holder, holder.actions()[0]->menu()}) {
        shown->popup(screen.topLeft());
        EXPECT_LE(shown->height(), screen.height());
        EXPECT_LT(shown->width(), screen.width() / 2);
        shown->hide();
    }

    // A tray host that draws the exported menu reads "_" as a shortcut mark: there the
    // caption doubles it, and the name picked stays the computer's.
    lists.domains = {};
    lists.computers = {{"__x_y", -1}, {"a&b_c", -1}};
    app::buildChatMenu(*items.mnuChat, holder, lists, pick, true);
    EXPECT_EQ(captions(&holder), QStringList({"____x__y", "a&&b__c"}));
    holder.actions()[0]->trigger();
    EXPECT_EQ(picked.back(), "__x_y");
}

namespace {

class ScanFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::messageBoxHook() = [this](const ui::ShownBox&) { ++boxes; };
    }
    void TearDown() override { ui::messageBoxHook() = nullptr; }

    template <class Form = app::Tfrminicial>
    std::unique_ptr<Form>
    makeForm(std::vector<std::shared_ptr<platform::NetworkProvider>> networks) {
        // Port 0: the kernel picks a free one, the test never connects to it.
        auto form = std::make_unique<Form>(app::ListenEndpoint{"127.0.0.1", "0"});
        form->setNeighbourhood(std::make_shared<ScriptedNeighbourhood>(std::move(networks)));
        return form;
    }
    std::unique_ptr<app::Tfrminicial> makeForm(std::shared_ptr<ScriptedProvider> network) {
        return makeForm<app::Tfrminicial>(
            std::vector<std::shared_ptr<platform::NetworkProvider>>{std::move(network)});
    }

    // A scan runs on the event loop: the form's calls start it, this waits for its end.
    static void endOfScan(const app::Tfrminicial& form) {
        ASSERT_TRUE(waitUntil([&] { return !form.Scanning(); }, 20000));
    }

    int boxes = 0;
};

} // namespace

TEST_F(ScanFormTest, openingTheMenuRebuildsFromTheListsWithoutScanning) {
    auto network = provider();
    network->script("", {{domainRecord("GRUPO", smb)}});
    network->script("GRUPO", {{serverRecord("ANA", smb)}});
    auto form = makeForm(network);
    form->FormCreate();
    endOfScan(*form);
    const int callsAfterStartUp = network->calls();
    EXPECT_EQ(callsAfterStartUp, 2);

    // The submenu is built once per scan: each opening shows the same items.
    QList<QAction*> items;
    for (int opening = 0; opening < 2; ++opening) {
        emit form->menu1.aboutToShow();
        ASSERT_NE(form->mnuChat->menu(), nullptr);
        EXPECT_EQ(captions(form->mnuChat->menu()), QStringList{"GRUPO"});
        EXPECT_EQ(captions(form->mnuChat->menu()->actions()[0]->menu()), QStringList{"ANA"});
        if (opening == 0) items = form->mnuChat->menu()->actions();
        EXPECT_EQ(form->mnuChat->menu()->actions(), items);
    }
    EXPECT_EQ(network->calls(), callsAfterStartUp);

    // "&Refresh" scans again and replaces what was listed.
    network->script("GRUPO", {{serverRecord("BETO", smb)}});
    form->mnuRefresh->trigger();
    endOfScan(*form);
    EXPECT_EQ(form->Lists.computers, (std::vector<ComputerEntry>{{"BETO", 0}}));
    EXPECT_EQ(captions(form->mnuChat->menu()->actions()[0]->menu()), QStringList{"BETO"});

    // Nothing found: "&Chat" has nothing to open.
    network->script("", {{}});
    form->mnuRefresh->trigger();
    endOfScan(*form);
    EXPECT_EQ(form->mnuChat->menu(), nullptr);
    EXPECT_EQ(boxes, 0);
}

TEST_F(ScanFormTest, whileScanningTheIconIsBusyAndTheMenuDetached) {
    auto network = provider();
    network->script("", {{domainRecord("GRUPO", smb)}});
    network->script("GRUPO", {{serverRecord("ANA", smb)}});
    network->setDelay(400ms);
    auto form = makeForm(network);
    form->TryIcon.activate();

    QStringList hints;
    std::set<int> frames;
    int detachedSamples = 0;
    int commandsShown = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (!form->Scanning()) return;
        hints << form->TryIcon.hint();
        frames.insert(form->TryIcon.animationFrame());
        detachedSamples += form->TryIcon.menu() == nullptr ? 1 : 0;
        commandsShown += form->TryIcon.standInWindow()->findChildren<QPushButton*>().size();
        form->mnuRefresh->trigger();            // a second scan meanwhile is not started
        form->TryIcon.standInWindow()->close(); // nor is the program ended from there
    });
    sampler.start(20);
    form->mnuRefresh->trigger();
    endOfScan(*form);
    sampler.stop();

    ASSERT_FALSE(hints.isEmpty());
    EXPECT_EQ(hints.filter(QString::fromUtf8("Localizando usuários...")).size(), hints.size());
    EXPECT_EQ(detachedSamples, hints.size());
    EXPECT_EQ(commandsShown, 0) << "the stand-in window offers no command during the scan";
    EXPECT_TRUE(form->TryIcon.isActive());
    EXPECT_GE(frames.size(), 5u) << "the busy animation moves while the network is waited on";
    EXPECT_EQ(network->calls(), 2);
    EXPECT_EQ(form->TryIcon.hint(), QString::fromUtf8("Falavox©"));
    EXPECT_EQ(form->TryIcon.menu(), &form->menu1);
    EXPECT_FALSE(form->TryIcon.isAnimating());
}

TEST_F(ScanFormTest, startUpListensByItsBoundWhileTheScanWaitsForLateAnswers) {
    // On a loaded machine the computers answer late: the start-up scan waits for them as
    // "&Refresh" does, busy and with its menu detached, while the listener opens by the
    // start-up bound; a network that never answers is cut off by its container's bound.
    auto silent = provider();
    silent->holdAnswers();
    auto late = provider(platform::dnssdProviderName);
    late->script("", {{domainRecord("local", platform::dnssdProviderName)}});
    late->script("local", {{serverRecord("vizinho", platform::dnssdProviderName)}});
    late->setDelay(300ms);
    auto form = makeForm({silent, late});
    form->StartupScanBound = 100ms;
    form->ContainerScanBound = 1500ms;
    int listeningWhileBusy = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (form->SrvSocket.State() == net::wsListening && form->Scanning() &&
            form->TryIcon.menu() == nullptr &&
            form->TryIcon.hint() == QString::fromUtf8("Localizando usuários..."))
            ++listeningWhileBusy;
    });
    sampler.start(20);
    form->FormCreate();
    endOfScan(*form);
    sampler.stop();
    EXPECT_GT(listeningWhileBusy, 0) << "the listener opened while the scan went on";
    EXPECT_EQ(form->SrvSocket.State(), net::wsListening);
    EXPECT_EQ(form->TryIcon.hint(), QString::fromUtf8("Falavox©"));
    EXPECT_EQ(form->TryIcon.menu(), &form->menu1);
    EXPECT_EQ(form->Lists.computers, (std::vector<ComputerEntry>{{"vizinho", 0}}))
        << "answered after the listener opened, listed without \"&Refresh\"";
    form.reset();
    silent->release(); // answers after the form is gone
    ASSERT_TRUE(waitUntil([&] { return silent->answered() == 1; }));
    spin(50);
}

TEST_F(ScanFormTest, aListenerThatCannotOpenEndsTheStartUpScan) {
    // Another program holds the port.
    const int taken = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    ASSERT_EQ(::getsockname(taken, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string port = std::to_string(ntohs(address.sin_port));
    const auto closeTaken = qScopeGuard([taken] { ::close(taken); });
    auto silent = provider();
    silent->holdAnswers();
    app::Tfrminicial second(app::ListenEndpoint{"127.0.0.1", port});
    second.setNeighbourhood(std::make_shared<ScriptedNeighbourhood>(
        std::vector<std::shared_ptr<platform::NetworkProvider>>{silent}));
    second.StartupScanBound = 100ms;
    second.ContainerScanBound = 20s;
    QElapsedTimer clock;
    clock.start();
    second.FormCreate();
    endOfScan(second);
    EXPECT_LT(clock.elapsed(), 10000) << "the user is told without waiting for the network";
    EXPECT_TRUE(second.Terminated());
    EXPECT_EQ(boxes, 1);
    silent->release();
    // Ending the program told every event loop to end from now on; the application's own
    // loop, run once, lets the next tests' loops run again.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QApplication::exec();
    ASSERT_TRUE(waitUntil([&] { return silent->answered() == 1; }));
    spin(50);
}

namespace {

// A scan that fails half-way, as when memory runs out or a provider's library throws
// past the provider.
class FailingScanForm : public app::Tfrminicial {
public:
    using Tfrminicial::Tfrminicial;
    bool fail = true;

protected:
    void runScan(std::chrono::milliseconds bound) override {
        Tfrminicial::runScan(bound);
        if (fail) throw std::bad_alloc();
    }
};

} // namespace

TEST_F(ScanFormTest, aScanThatFailsHalfWayStillEndsWhole) {
    auto network = provider();
    network->script("", {{serverRecord("ANA", smb)}});
    auto form = makeForm<FailingScanForm>({network});
    form->TryIcon.activate();
    form->mnuRefresh->trigger();
    endOfScan(*form);
    EXPECT_FALSE(form->Scanning());
    EXPECT_FALSE(form->TryIcon.isAnimating());
    EXPECT_EQ(form->TryIcon.hint(), QString::fromUtf8("Falavox©"));
    EXPECT_EQ(form->TryIcon.menu(), &form->menu1);
    ASSERT_NE(form->mnuChat->menu(), nullptr) << "what was found before the failure is listed";
    EXPECT_EQ(boxes, 0) << "no error of the scan reaches the user";

    // The next "&Refresh" scans again.
    form->fail = false;
    const int calls = network->calls();
    form->mnuRefresh->trigger();
    endOfScan(*form);
    EXPECT_GT(network->calls(), calls);
}

TEST_F(ScanFormTest, pickingAComputerInvitesItByName) {
#if defined(__SANITIZE_THREAD__)
    // The chat window paints through the toolkit's thread pool, whose locking the thread
    // sanitizer cannot see in an uninstrumented toolkit.
    GTEST_SKIP() << "the chat window is not checked under ThreadSanitizer";
#endif
    auto network = provider();
    network->script("", {{serverRecord("127.0.0.1", smb)}});
    auto form = makeForm(network);
    form->FormCreate();
    endOfScan(*form);
    emit form->menu1.aboutToShow();
    ASSERT_NE(form->mnuChat->menu(), nullptr);
    form->mnuChat->menu()->actions()[0]->trigger();
    ASSERT_TRUE(form->frmChat) << "the invitation opened the chat window";
    const auto* transcript = form->frmChat->findChild<QPlainTextEdit*>("memo1");
    ASSERT_NE(transcript, nullptr);
    EXPECT_TRUE(transcript->toPlainText().contains("(127.0.0.1)"));
    // Nothing listens on port 0: the invitation ends before the form does.
    EXPECT_TRUE(waitUntil([&] { return transcript->blockCount() >= 3; }));
    EXPECT_EQ(boxes, 0);
}

FALAVOX_TEST_MAIN(QApplication)
