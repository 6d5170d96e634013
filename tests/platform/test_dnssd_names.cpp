#include "platform/neighbourhood/DnssdProvider.h"

#include <gtest/gtest.h>

#include <algorithm>

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
// cut by characters later, and in letters the code page has when it lacks theirs.
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
        {"\\208\\156\\208\\176\\209\\136\\208\\176-pc.local", "Masha-pc"},      // Cyrillic
        {"\\206\\145\\206\\184\\206\\174\\206\\189\\206\\177.local", "Athina"}, // Greek, accented
        {"\\196\\141ap\\195\\161.local", "cap\xe1"}, // a Czech letter the code page lacks
        {"\\230\\151\\165\\230\\156\\172.local", "xn--wgv71a"}, // no Latin letters here
        {"bad\\255utf8.local", std::nullopt},
        {"cut\\19.local", std::nullopt},
        {"over\\300.local", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::listedHostName(c.host, "local"), c.listed) << c.host;
}

// The hosts that answered for themselves are kept before the daemon's and those named by
// others, each listed name once, up to the cap; the list then reads in name order.
TEST(DnssdNames, computersOfADomainRankedCappedAndInNameOrder) {
    using platform::maxComputersPerDomain;
    std::vector<std::string> flood;
    for (std::size_t i = 0; i < 2 * maxComputersPerDomain; ++i)
        flood.push_back("fake" + std::to_string(1000 + i) + ".local");
    const struct {
        const char* what;
        std::vector<std::string> own, daemon, others;
        std::vector<std::string> first; // the listed names that must come first, in order
        std::size_t count;
    } cases[] = {
        {"merged once each, letter case aside, in name order",
         {"zeta.local", "Beta.local"},
         {"beta.local", "alfa.local"},
         {"ALFA.local", "gama.local"},
         {"alfa", "Beta", "gama", "zeta"},
         4},
        {"a flood from the daemon hides no computer that answered for itself",
         {"real.local"},
         flood,
         {},
         {"fake1000"},
         maxComputersPerDomain},
        {"nor a flood named by others",
         {"real.local"},
         {},
         flood,
         {"fake1000"},
         maxComputersPerDomain},
    };
    for (const auto& c : cases) {
        const auto hosts = platform::computersOfDomain(c.own, c.daemon, c.others, "local");
        ASSERT_EQ(hosts.size(), c.count) << c.what;
        for (std::size_t i = 0; i < c.first.size(); ++i)
            EXPECT_EQ(hosts[i].listedName, c.first[i]) << c.what;
        EXPECT_TRUE(std::any_of(hosts.begin(), hosts.end(), [&](const auto& h) {
            return h.fullName == c.own.front();
        })) << c.what;
        EXPECT_TRUE(std::is_sorted(hosts.begin(), hosts.end(), [](const auto& a, const auto& b) {
            return QString::fromLatin1(a.listedName)
                       .compare(QString::fromLatin1(b.listedName), Qt::CaseInsensitive) < 0;
        })) << c.what;
    }
}

} // namespace
