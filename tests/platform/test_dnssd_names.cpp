#include "platform/DnssdProvider.h"

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

} // namespace
