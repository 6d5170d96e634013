#include "platform/neighbourhood/DnssdProvider.h"

#include <gtest/gtest.h>

namespace {

// The listed name must be the one a lookup can find again: the domain comes off only
// when it really ends the host's name, whatever the letter case or a final dot.
TEST(DnssdNames, domainComesOffOnlyWhereItEndsTheHostName) {
    const struct {
        const char* host;
        const char* domain;
        const char* listed;
    } cases[] = {
        {"box.local", "local", "box"},
        {"Box.LOCAL.", "local.", "Box"},
        {"pc.lab.example.org", "example.org", "pc.lab"},
        {"pc.example.com", "example.org", "pc.example.com"},
        {"notlocal", "local", "notlocal"},
        {"local", "local", "local"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::hostNameWithoutDomain(c.host, c.domain), c.listed) << c.host;
}

// Avahi gives names in escaped text form; they are listed as their owners wrote them,
// cut by characters later, and left out when the code page cannot show them.
TEST(DnssdNames, escapedLabelsAreListedAsWritten) {
    const std::string thirtyOneATildes = [] {
        std::string name;
        for (int i = 0; i < 31; ++i)
            name += "\\195\\163";
        return name;
    }();
    const struct {
        std::string host;
        std::optional<std::string> listed;
    } cases[] = {
        {"a\\038b.local", "a&b"},
        {"jo\\195\\163o-pc.local", "jo\xe3o-pc"},
        {"my\\.pc.local", "my.pc"},
        {"back\\\\slash.local", "back\\slash"},
        {thirtyOneATildes + "x.local", std::string(31, '\xe3') + "x"},
        {"\\230\\151\\165\\230\\156\\172.local", std::nullopt}, // no Windows-1252 byte
        {"bad\\255utf8.local", std::nullopt},
        {"cut\\19.local", std::nullopt},
        {"over\\300.local", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::listedHostName(c.host, "local"), c.listed) << c.host;
}

} // namespace
