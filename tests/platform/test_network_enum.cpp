// The neighbourhood's open / enumerate / close calls over scripted providers.
#include "platform/NetworkEnum.h"
#include "support/ScriptedNeighbourhood.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(enumeration.WNetCloseEnum(top), NO_ERROR);

    // The DNS-SD network record is opened by its provider alone.
    EnumHandle network = nullptr;
    ASSERT_EQ(
        enumeration.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &dnssdNetwork, &network),
        NO_ERROR);
    EXPECT_EQ(smb->calls(), 0);
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
