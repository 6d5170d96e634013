#include "platform/neighbourhood/SmbBrowseReply.h"
#include "platform/neighbourhood/SmbProvider.h"
#include "tests/support/EventLoop.h"
#include "tests/support/Files.h"
#include "tests/support/QtMain.h"

#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

using platform::NetResource;
using platform::NetworkProvider;
using platform::SmbProvider;
namespace smbbrowse = platform::smbbrowse;

namespace {

TEST(SmbBrowseReply, AnyTextComesBackWholeAndACutReplyListsNothing) {
    const std::vector<smbbrowse::Entry> entries = {
        {smbbrowse::Kind::workgroup, "GRUPO", ""},
        {smbbrowse::Kind::server, "JOÃO-PC", "a\tcomment\r\nof 100%25 %"},
        {smbbrowse::Kind::printerShare, "%0A", "\n"},
    };
    std::string reply;
    for (const auto& entry : entries)
        reply += smbbrowse::entryLine(entry);
    const std::string whole = reply + std::string(smbbrowse::endLine);
    EXPECT_EQ(smbbrowse::readReply(whole), entries);
    // A helper ended before its end line, also inside a line, lists nothing.
    EXPECT_EQ(smbbrowse::readReply(reply), std::nullopt);
    EXPECT_EQ(smbbrowse::readReply(whole.substr(0, whole.size() - 2)), std::nullopt);
    // A line that is no entry is passed over; the others stay.
    const std::string odd = "X\tname\t\nS\tbroken%4\t\nS\tno comment field\n" + whole;
    EXPECT_EQ(smbbrowse::readReply(odd), entries);
}

// A stand-in for the helper: a shell script in the test's folder, named to the provider
// the way the test programs of a build tree name it.
class SmbProviderTest : public ::testing::Test {
protected:
    void useHelper(const std::string& script) {
        const QString path = testsupport::freshTestFolder() + QStringLiteral("/helper");
        ASSERT_TRUE(testsupport::writeBytes(path, "#!/bin/sh\n" + script));
        QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        pidFile_ = (path + QStringLiteral(".pid")).toStdString();
        ::setenv("FALAVOX_SMB_BROWSE", path.toLocal8Bit().constData(), 1);
    }
    void TearDown() override { ::unsetenv("FALAVOX_SMB_BROWSE"); }

    static NetResource network() {
        NetResource record;
        record.dwDisplayType = platform::RESOURCEDISPLAYTYPE_NETWORK;
        return record;
    }

    // The provider's answer, waited for on the event loop; never given inside the ask.
    static NetworkProvider::Answer answerOf(SmbProvider&& provider) {
        std::optional<NetworkProvider::Answer> answer;
        EXPECT_TRUE(
            provider.ask(network(), [&](NetworkProvider::Answer given) { answer = given; }));
        EXPECT_FALSE(answer);
        EXPECT_TRUE(testsupport::waitUntil([&] { return answer.has_value(); }, 30000));
        return answer.value_or(std::nullopt);
    }

    std::string pidFile_;
};

TEST_F(SmbProviderTest, ListsWhatTheHelperAnswersInTheProgramsCodePage) {
    // Its address is the whole network's; a name the code page cannot show is left out.
    useHelper(
        "[ \"$1\" = smb:// ] || exit 1\n"
        "printf 'W\\tGRUPO\\tEscrit\\303\\263rio\\nW\\t\\316\\251\\t\\nF\\tshare\\t\\nend\\n'\n");
    const auto children = answerOf(SmbProvider(std::chrono::milliseconds(5000)));
    ASSERT_TRUE(children);
    ASSERT_EQ(children->size(), 2u);
    EXPECT_EQ((*children)[0].lpRemoteName, "GRUPO");
    EXPECT_EQ((*children)[0].lpComment, "Escrit\xF3rio");
    EXPECT_EQ((*children)[0].dwDisplayType, platform::RESOURCEDISPLAYTYPE_DOMAIN);
    EXPECT_EQ((*children)[1].dwType, platform::RESOURCETYPE_DISK);
}

TEST_F(SmbProviderTest, AHelperThatDoesNotAnswerIsEndedAtTheBound) {
    useHelper("echo $$ >\"$0.pid\"\nprintf 'W\\tGRUPO\\t\\n'\nexec sleep 60\n");
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(answerOf(SmbProvider(std::chrono::milliseconds(300))), std::nullopt);
    // Far less than the helper's own minute: it did not end by itself.
    EXPECT_LT(elapsed.elapsed(), 30000);
    const std::string pid = testsupport::readBytes(QString::fromStdString(pidFile_));
    ASSERT_NE(pid, "<missing>");
    // Ended and reaped: no process of that number is left.
    EXPECT_EQ(::kill(std::atoi(pid.c_str()), 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST_F(SmbProviderTest, AMissingHelperListsNothing) {
    ::setenv("FALAVOX_SMB_BROWSE", "/nonexistent/falavox-smb-browse", 1);
    EXPECT_EQ(answerOf(SmbProvider(std::chrono::milliseconds(1000))), std::nullopt);
}

} // namespace

FALAVOX_TEST_MAIN(QCoreApplication)
