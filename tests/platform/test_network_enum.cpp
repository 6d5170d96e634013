// The neighbourhood's open / enumerate / close calls over scripted providers.
#include "platform/neighbourhood/NetworkEnum.h"
#include "tests/support/ScriptedNeighbourhood.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace platform;
using testsupport::ScriptedProvider;

TEST(NetworkEnumeration, topListsEachNetworkAndContainersGoToTheirProvider) {
    auto smb = std::make_shared<ScriptedProvider>("Rede SMB");
    auto dnssd = std::make_shared<ScriptedProvider>("Rede DNS-SD");
    dnssd->script("", {{testsupport::domainRecord("local", "Rede DNS-SD")}});
    const NetworkEnumeration enumeration({smb, dnssd});

    EnumHandle top = nullptr;
    ASSERT_EQ(enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &top),
              NO_ERROR);
    std::vector<NetResource> entries;
    std::uint32_t count = enumAllEntries;
    std::uint32_t size = 8192;
    ASSERT_EQ(enumeration.WNetEnumResourceA(top, &count, &entries, &size), NO_ERROR);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(entries[1].dwDisplayType, RESOURCEDISPLAYTYPE_NETWORK);
    EXPECT_EQ(entries[1].dwUsage, RESOURCEUSAGE_CONTAINER);
    EXPECT_EQ(entries[1].lpProvider, "Rede DNS-SD");
    const NetResource dnssdNetwork = entries[1];
    count = enumAllEntries;
    EXPECT_EQ(enumeration.WNetEnumResourceA(top, &count, &entries, &size), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(count, 0u);

    // The DNS-SD network record is opened by its provider.
    EnumHandle network = nullptr;
    ASSERT_EQ(
        enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &dnssdNetwork, &network),
        NO_ERROR);
    // A buffer too small for the next entry: nothing handed out, the size it needs told,
    // and the entry still there for a bigger buffer.
    count = enumAllEntries;
    size = 10;
    EXPECT_EQ(enumeration.WNetEnumResourceA(network, &count, &entries, &size), ERROR_MORE_DATA);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(size, 32u + 6 + 12);
    count = enumAllEntries;
    EXPECT_EQ(enumeration.WNetEnumResourceA(network, &count, &entries, &size), NO_ERROR);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(entries[0].lpRemoteName, "local");
    enumeration.WNetCloseEnum(network);
    EXPECT_EQ(enumeration.WNetCloseEnum(top), NO_ERROR);

    // No provider by that name, or one that cannot open the container: no handle.
    NetResource stranger = testsupport::networkRecord("Outra");
    EnumHandle none = nullptr;
    EXPECT_EQ(enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &stranger, &none),
              ERROR_BAD_PROVIDER);
    smb->script("", std::nullopt);
    NetResource smbNetwork = testsupport::networkRecord("Rede SMB");
    EXPECT_EQ(
        enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &smbNetwork, &none),
        ERROR_NO_NETWORK);
    EXPECT_EQ(none, nullptr);
}

namespace {

std::vector<NetResource> allEntries(const NetworkEnumeration& enumeration, EnumHandle handle) {
    std::vector<NetResource> entries;
    std::uint32_t count = enumAllEntries;
    std::uint32_t size = 8192;
    enumeration.WNetEnumResourceA(handle, &count, &entries, &size);
    return entries;
}

} // namespace

TEST(NetworkEnumeration, eachNetworkIsWalkedOnItsOwnFromTheTop) {
    // Two networks that each wait on their answer: a scan that asked them one after the
    // other would wait for the sum of their waits.
    auto smb = std::make_shared<ScriptedProvider>("Rede SMB");
    auto dnssd = std::make_shared<ScriptedProvider>("Rede DNS-SD");
    smb->script("", {{testsupport::domainRecord("GRUPO", "Rede SMB")}});
    smb->script("GRUPO", {{testsupport::serverRecord("ANA", "Rede SMB")}});
    dnssd->script("", {{testsupport::domainRecord("local", "Rede DNS-SD")}});
    dnssd->script("local", {{testsupport::serverRecord("vizinho", "Rede DNS-SD")}});
    smb->holdAnswers();
    dnssd->holdAnswers();
    const NetworkEnumeration enumeration({smb, dnssd});

    EnumHandle top = nullptr;
    ASSERT_EQ(enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &top),
              NO_ERROR);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((smb->calls() < 1 || dnssd->calls() < 1) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(smb->calls(), 1) << "both networks asked before either record was opened";
    EXPECT_EQ(dnssd->calls(), 1);
    const std::vector<NetResource> networks = allEntries(enumeration, top);
    ASSERT_EQ(networks.size(), 2u);

    // A network that has not answered by the bound cannot be opened; the other one's
    // answer, once in, is taken even after its bound has passed.
    EnumHandle handle = nullptr;
    const auto soon = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    EXPECT_EQ(enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &networks[0],
                                        &handle, soon),
              ERROR_NO_NETWORK);
    EXPECT_GE(std::chrono::steady_clock::now(), soon);
    dnssd->release();
    while (dnssd->answered() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto past = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    for (const auto& [container, expected] :
         {std::pair{networks[1], "local"},
          std::pair{testsupport::domainRecord("local", "Rede DNS-SD"), "\\\\vizinho"}}) {
        ASSERT_EQ(enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &container,
                                            &handle, past),
                  NO_ERROR);
        const std::vector<NetResource> entries = allEntries(enumeration, handle);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].lpRemoteName, expected);
        enumeration.WNetCloseEnum(handle);
    }
    EXPECT_EQ(dnssd->calls(), 2) << "the walk asked for the domain; opening it did not ask again";

    // Past its bound, a container nobody has asked for yet is not asked for.
    const NetResource other = testsupport::domainRecord("outro", "Rede DNS-SD");
    EXPECT_EQ(
        enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &other, &handle, past),
        ERROR_NO_NETWORK);
    EXPECT_EQ(dnssd->calls(), 2);
    enumeration.WNetCloseEnum(top);
    smb->release();
}

TEST(NetworkEnumeration, aProviderThatHangsHoldsOneThreadHoweverOftenItIsOpened) {
    // Each opening of the top walks the provider again. While its first call hangs, the
    // later walks must wait behind it rather than each take another thread of the pool.
    auto stuck = std::make_shared<ScriptedProvider>("Rede SMB");
    stuck->script("", {{testsupport::domainRecord("GRUPO", "Rede SMB")}});
    stuck->script("GRUPO", {{testsupport::serverRecord("ANA", "Rede SMB")}});
    stuck->holdAnswers();
    const NetworkEnumeration enumeration({stuck});
    const auto within = [](std::chrono::milliseconds bound) {
        return std::chrono::steady_clock::now() + bound;
    };
    EnumHandle top = nullptr;
    EnumHandle handle = nullptr;
    std::vector<NetResource> networks;
    for (int opening = 0; opening < 3; ++opening) {
        ASSERT_EQ(enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &top),
                  NO_ERROR);
        networks = allEntries(enumeration, top);
        if (opening == 2) break; // this top stays open
        EXPECT_EQ(enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &networks[0],
                                            &handle, within(std::chrono::milliseconds(50))),
                  ERROR_NO_NETWORK);
        enumeration.WNetCloseEnum(top);
    }
    EXPECT_EQ(stuck->calls(), 1) << "the later walks wait behind the call that hangs";

    // Once it returns, the walks of the closed tops are not made; the open one's is, and
    // its answers are taken.
    stuck->release();
    for (const auto& [container, expected] :
         {std::pair{networks[0], "GRUPO"},
          std::pair{testsupport::domainRecord("GRUPO", "Rede SMB"), "\\\\ANA"}}) {
        ASSERT_EQ(enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &container,
                                            &handle, within(std::chrono::seconds(5))),
                  NO_ERROR);
        const std::vector<NetResource> entries = allEntries(enumeration, handle);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].lpRemoteName, expected);
        enumeration.WNetCloseEnum(handle);
    }
    EXPECT_EQ(stuck->calls(), 3);
    enumeration.WNetCloseEnum(top);
}
