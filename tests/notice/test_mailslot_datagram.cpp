#include "notice/ComputerNames.h"
#include "notice/MailslotDatagram.h"
#include "tests/support/Files.h"
#include "tests/support/QtMain.h"

#include <gtest/gtest.h>

using namespace notice;

namespace {

MailslotDatagram sample(std::string text = "COMMAND_MSG\r\n") {
    MailslotDatagram d;
    d.type = directGroupDatagram;
    d.id = 0x1234;
    d.sourceAddress = 0x0100000a; // 10.0.0.1 in network order
    d.source = {"PC01", 0x00};
    d.destination = {"WORKGROUP", 0x00};
    d.mailslot = "\\MAILSLOT\\messngr";
    d.message = std::move(text);
    return d;
}

TEST(MailslotDatagram, readsBackWhatItBuildsIncludingZeroBytes) {
    const MailslotDatagram d = sample(std::string("ME\0PC2\0Convite\r\n", 16));
    const auto parsed = parseMailslotDatagram(*buildMailslotDatagram(d));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->type, d.type);
    EXPECT_EQ(parsed->id, d.id);
    EXPECT_EQ(parsed->sourceAddress, d.sourceAddress);
    EXPECT_EQ(parsed->source, d.source);
    EXPECT_EQ(parsed->destination, d.destination);
    EXPECT_EQ(parsed->mailslot, d.mailslot);
    EXPECT_EQ(parsed->message, d.message);
}

TEST(MailslotDatagram, aMessageLongerThanOneDatagramIsRefused) {
    const std::size_t limit = maxMailslotMessage("\\MAILSLOT\\messngr");
    EXPECT_EQ(limit, 425u);
    const auto fits = buildMailslotDatagram(sample(std::string(limit, 'x')));
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->size(), 14 + 2 * 34 + maxDatagramUserData);
    EXPECT_FALSE(buildMailslotDatagram(sample(std::string(limit + 1, 'x'))));
}

TEST(MailslotDatagram, everyTruncationAndDamageIsRejected) {
    const std::string whole = *buildMailslotDatagram(sample());
    for (std::size_t length = 0; length < whole.size(); ++length)
        EXPECT_FALSE(parseMailslotDatagram(whole.substr(0, length))) << length;

    const auto damaged = [&](std::size_t at, char value) {
        std::string bytes = whole;
        bytes[at] = value;
        return bytes;
    };
    const std::size_t smb = 14 + 2 * 34;
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"name query type", damaged(0, 0x20)},
        {"later fragment", damaged(1, 0x00)},
        {"more fragments follow", damaged(1, 0x03)},
        {"name letter out of range", damaged(14 + 5, 'Z')},
        {"name length", damaged(14, 31)},
        {"not SMB", damaged(smb + 1, 'X')},
        {"another SMB command", damaged(smb + 4, 0x72)},
        {"word count", damaged(smb + 32, 14)},
        {"not a mailslot write", damaged(smb + 33 + 28, 2)},
        {"data beyond the end", damaged(smb + 33 + 22, 0x7f)},
        {"byte count beyond the end", damaged(smb + 33 + 34, 0x7f)},
        {"declared length beyond the end", damaged(10, 0x7f)},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(parseMailslotDatagram(c.bytes)) << c.what;
}

TEST(MailslotDatagram, mailslotNamesCompareWithoutCase) {
    EXPECT_TRUE(sameMailslotName("\\MAILSLOT\\messngr", "\\mailslot\\MESSNGR"));
    EXPECT_FALSE(sameMailslotName("\\MAILSLOT\\messngr", "\\MAILSLOT\\messngr2"));
}

TEST(ComputerNames, netbiosNameAndWorkgroup) {
    EXPECT_EQ(computerNetbiosName("workstation-number-7.lan"), "WORKSTATION-NUM");
    const QString folder = testsupport::freshTestFolder();
    const struct {
        std::string config, workgroup;
    } cases[] = {
        {"[global]\n   workgroup = falanet\n", "FALANET"},
        {"[global]\n; workgroup = NOT\n[share]\nworkgroup = NOT\n", "WORKGROUP"},
        {"[homes]\nworkgroup = NOT\n[Global]\n  Work Group=casa  \n", "CASA"},
    };
    for (const auto& c : cases) {
        const QString path = folder + "/smb.conf";
        ASSERT_TRUE(testsupport::writeBytes(path, c.config));
        EXPECT_EQ(sambaWorkgroup(path.toStdString()), c.workgroup) << c.config;
    }
    EXPECT_EQ(sambaWorkgroup((folder + "/missing.conf").toStdString()), "WORKGROUP");
}

} // namespace

FALAVOX_TEST_MAIN(QCoreApplication)
