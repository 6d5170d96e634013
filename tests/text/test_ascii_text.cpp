#include "text/AsciiText.h"
#include "text/IniLine.h"

#include <gtest/gtest.h>

using namespace text;

TEST(AsciiText, caseRulesLeaveAccentsAlone) {
    const struct {
        std::string_view name;
        std::string_view capitalised;
    } cases[] = {
        {"jOÃO", "JoÃo"},
        {"MARIA.SILVA2", "Maria.silva2"},
        // Accented letters (Windows-1252 bytes) keep their case, first or not.
        {"\xe9RICA", "\xe9rica"},
        {"\xe9LIO\xc7", "\xe9lio\xc7"},
        {"x", "X"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(capitalizeName(c.name), c.capitalised) << c.name;
    EXPECT_EQ(asciiUpperCase("ana\xe9z"), "ANA\xe9Z");
    EXPECT_TRUE(sameTextAscii("Ana", "aNA"));
    EXPECT_FALSE(sameTextAscii("\xe9", "\xc9"));
    EXPECT_FALSE(sameTextAscii("Ana", "Anas"));
}

TEST(AsciiText, copyTakesAtMostCountFromOneBasedPosition) {
    EXPECT_EQ(copyText("abcdef", 2, 3), "bcd");
    EXPECT_EQ(copyText("abcdef", 5, 10), "ef");
    EXPECT_EQ(copyText("abcdef", 7, 1), "");
    EXPECT_EQ(copyText("abcdef", 100, 1), "");
    EXPECT_EQ(copyText("abcdef", 1, 0), "");
    EXPECT_EQ(copyText("abcdef", 1, -5), "");
    EXPECT_EQ(copyText("abcdef", 0, 2), "ab");
    EXPECT_EQ(copyText("", 1, 3), "");
}

TEST(IniLine, headersEntriesAndOtherLines) {
    using Kind = IniLine::Kind;
    const struct {
        std::string_view line;
        Kind kind;
        std::string_view name, value;
    } cases[] = {
        {"[TfrmChat]", Kind::Section, "TfrmChat", ""},
        {"  [ global ] ; shares", Kind::Section, "global", ""},
        {"[homes", Kind::Section, "homes", ""},
        {"NormPos=40,50,640,430", Kind::Entry, "NormPos", "40,50,640,430"},
        {"  work group = casa  ", Kind::Entry, "work group", " casa  "},
        {"Empty=", Kind::Entry, "Empty", ""},
        {"a=b=c", Kind::Entry, "a", "b=c"},
        {"=value", Kind::Other, "", ""},
        {"; workgroup = NOT", Kind::Other, "", ""},
        {"# workgroup = NOT", Kind::Other, "", ""},
        {"no equals sign", Kind::Other, "", ""},
        {" \t", Kind::Other, "", ""},
    };
    for (const auto& c : cases) {
        const IniLine read = readIniLine(c.line);
        EXPECT_EQ(read.kind, c.kind) << c.line;
        EXPECT_EQ(read.name, c.name) << c.line;
        EXPECT_EQ(read.value, c.value) << c.line;
    }
}
