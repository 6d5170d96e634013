#include "wire/NetbiosName.h"

#include <gtest/gtest.h>

#include <string>

using namespace wire;

namespace {

std::string encoded(const std::string& letters) {
    return std::string("\x20") + letters + '\0';
}

TEST(NetbiosName, encodedUpperCasedPaddedAndReadBack) {
    // "FRED" is the name service's own worked example; a longer name is cut to 15
    // characters and an empty one is sent as blanks.
    const struct {
        NetbiosName name;
        std::string bytes;
        NetbiosName readBack;
    } cases[] = {
        {{"fred", 0x20}, encoded("EGFCEFEECACACACACACACACACACACACA"), {"FRED", 0x20}},
        {{"FRED", 0x01}, encoded("EGFCEFEECACACACACACACACACACACAAB"), {"FRED", 0x01}},
        {{"", 0x03}, encoded("CACACACACACACACACACACACACACACAAD"), {"", 0x03}},
        {{"workstation-number", 0x00},
         encoded("FHEPFCELFDFEEBFEEJEPEOCNEOFFENAA"),
         {"WORKSTATION-NUM", 0x00}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encodeNetbiosName(c.name), c.bytes) << c.name.name;
        ByteReader in(c.bytes);
        EXPECT_EQ(readNetbiosName(in), c.readBack) << c.name.name;
        EXPECT_EQ(in.position(), c.bytes.size()) << c.name.name;
    }
}

TEST(NetbiosName, aScopeIsSkippedAndDamageRefused) {
    const std::string fred = encodeNetbiosName({"FRED", 0x00});
    const std::string scoped = fred.substr(0, 33) +
                               "\x03"
                               "lan" +
                               '\0' + "next";
    ByteReader in(scoped);
    EXPECT_EQ(readNetbiosName(in), (NetbiosName{"FRED", 0x00}));
    EXPECT_EQ(in.take(4), "next");

    const struct {
        const char* what;
        std::string bytes;
    } damaged[] = {
        {"length byte", "\x1f" + fred.substr(1)},
        {"letter past P", fred.substr(0, 5) + "Q" + fred.substr(6)},
        {"ends early", fred.substr(0, 20)},
        {"label too long", fred.substr(0, 33) + "\x40"},
        {"scope ends early", fred.substr(0, 33) + "\x05"
                                                  "ab"},
    };
    for (const auto& d : damaged) {
        ByteReader bad(d.bytes);
        EXPECT_EQ(readNetbiosName(bad), std::nullopt) << d.what;
    }
}

} // namespace
