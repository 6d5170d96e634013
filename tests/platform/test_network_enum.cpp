// The neighbourhood's open / enumerate / close calls over scripted providers.
#include "platform/NetworkEnum.h"
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

    // The DNS-SD network record is opened by its provider, which was asked once, when the
    // top was opened.
    EnumHandle network = nullptr;
    ASSERT_EQ(
        enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &dnssdNetwork, &network),
        NO_ERROR);
    EXPECT_EQ(dnssd->calls(), 1);
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

TEST(NetworkEnumeration, everyNetworkIsAskedAtOnceWhenTheTopIsOpened) {
    // Two networks that each wait on their answer: a scan that asked them one after the
    // other would wait for the sum of their waits.
    auto smb = std::make_shared<ScriptedProvider>("Rede SMB");
    auto dnssd = std::make_shared<ScriptedProvider>("Rede DNS-SD");
    smb->script("", {{testsupport::domainRecord("GRUPO", "Rede SMB")}});
    dnssd->script("", {{testsupport::domainRecord("local", "Rede DNS-SD")}});
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
    smb->release();
    dnssd->release();

    // Each record then gives its own network's answer, without asking again.
    std::vector<NetResource> networks;
    std::uint32_t count = enumAllEntries;
    std::uint32_t size = 8192;
    ASSERT_EQ(enumeration.WNetEnumResourceA(top, &count, &networks, &size), NO_ERROR);
    ASSERT_EQ(networks.size(), 2u);
    for (const auto& [network, expected] :
         {std::pair{networks[0], "GRUPO"}, std::pair{networks[1], "local"}}) {
        EnumHandle handle = nullptr;
        ASSERT_EQ(
            enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &network, &handle),
            NO_ERROR);
        std::vector<NetResource> entries;
        count = enumAllEntries;
        ASSERT_EQ(enumeration.WNetEnumResourceA(handle, &count, &entries, &size), NO_ERROR);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].lpRemoteName, expected);
        enumeration.WNetCloseEnum(handle);
    }
    EXPECT_EQ(smb->calls(), 1);
    EXPECT_EQ(dnssd->calls(), 1);
    enumeration.WNetCloseEnum(top);
}
