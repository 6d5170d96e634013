#include "notice/InvitationNotice.h"
#include "notice/NTLib.h"
#include "platform/Cp1252.h"
#include "tests/support/Files.h"
#include "tests/support/QtMain.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace notice;

namespace {

std::string ansi(const char16_t* text) {
    return platform::toCp1252(QString::fromUtf16(text));
}

TEST(InvitationNotice, statusLinesForEachRouteAndOutcome) {
    const std::string viaService =
        ansi(u"Status> Enviando convite ao chat através do serviço de mensagens...");
    const std::string viaWinPopUp =
        ansi(u"Status> Enviando convite ao chat através do WinPopUp...");
    const std::string sent = ansi(u"Status> Seu convite foi enviado com êxito.");
    const std::string failed = ansi(u"Status> Não foi possivel enviar seu convite.");
    enum class Outcome { delivered, refused, throws };
    const struct {
        bool nt;
        Outcome outcome;
        std::vector<std::string> lines;
    } cases[] = {
        {true, Outcome::delivered, {viaService, sent}},
        {true, Outcome::refused, {viaService, failed}},
        {true, Outcome::throws, {viaService}},
        {false, Outcome::delivered, {viaWinPopUp, sent}},
        {false, Outcome::throws, {viaWinPopUp, failed}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> calls, lines;
        NoticeRoutes routes;
        routes.netMessage = [&](const std::string& to, const std::string& text) {
            calls.push_back(to + "|" + text);
            if (c.outcome == Outcome::throws) throw std::runtime_error("no memory");
            return c.outcome == Outcome::delivered;
        };
        routes.winPopUp = [&](const std::string& user, const std::string& to,
                              const std::string& text) {
            calls.push_back(user + "|" + to + "|" + text);
            if (c.outcome == Outcome::throws) throw std::bad_alloc();
        };
        EXPECT_NO_THROW(sendInvitationNotice(c.nt, "Ana", "Pc2", "", routes,
                                             [&](const std::string& l) { lines.push_back(l); }));
        EXPECT_EQ(lines, c.lines) << c.nt << int(c.outcome);
        EXPECT_EQ(calls, std::vector<std::string>{c.nt ? "Pc2|Convite ao chat: " : "Ana|Pc2|"});
    }
}

TEST(InvitationNotice, winPopUpTextHasBothNamesAndTheTextByteForByte) {
    EXPECT_EQ(winPopUpNoticeText("Ana", "Pc2", ""), std::string("Ana\0Pc2\0Convite ao chat: ", 25));
    EXPECT_EQ(winPopUpNoticeText("Ana", "Pc2", "ol\xe1"),
              std::string("Ana\0Pc2\0Convite ao chat: ol\xe1", 28));
}

// Samba's client stood in for by a script on the PATH, which records what it was given
// and then behaves as the client does in one of its cases.
class NetMessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = testsupport::freshTestFolder();
        savedPath = qgetenv("PATH");
        qputenv("PATH", (folder + ":/usr/bin:/bin").toUtf8());
    }
    void TearDown() override { qputenv("PATH", savedPath); }

    void client(const std::string& behaviour) {
        const QString path = folder + "/smbclient";
        ASSERT_TRUE(testsupport::writeBytes(path, "#!/bin/sh\necho $$ > \"" + folder.toStdString() +
                                                      "/pid\"\nprintf '%s\\n' \"$@\" > \"" +
                                                      folder.toStdString() + "/args\"\ncat > \"" +
                                                      folder.toStdString() + "/stdin\"\n" +
                                                      behaviour + "\n"));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    std::string recorded(const char* name) { return testsupport::readBytes(folder + "/" + name); }

    QString folder;
    QByteArray savedPath;
};

TEST_F(NetMessageTest, absentClientRunsNothing) {
    qputenv("PATH", folder.toUtf8());
    EXPECT_FALSE(SendNetMessage("localhost", "Convite ao chat: "));
}

TEST_F(NetMessageTest, acceptedOnlyWhenTheServerTookIt) {
    const struct {
        const char* behaviour;
        bool delivered;
    } cases[] = {
        {"exit 0", true},
        {"echo 'cli_message returned NT_STATUS_ACCESS_DENIED' >&2; exit 0", false},
        {"echo 'Connection to Pc2 failed (Error NT_STATUS_CONNECTION_REFUSED)'; exit 1", false},
        {"kill -SEGV $$", false},
    };
    for (const auto& c : cases) {
        client(c.behaviour);
        EXPECT_EQ(SendNetMessage("localhost", "Convite ao chat: ol\xe1"), c.delivered)
            << c.behaviour;
    }
    // The recipient inside its option, so no name is ever read as an option; the address
    // from the program's own lookup.
    EXPECT_EQ(recorded("args"),
              "--message=localhost\n-N\n--option=client min protocol=NT1\n-I\n127.0.0.1\n");
    EXPECT_EQ(recorded("stdin"), "Convite ao chat: ol\xc3\xa1");
}

TEST_F(NetMessageTest, aClientThatNeverAnswersIsKilled) {
    client("exec sleep 600");
    EXPECT_FALSE(SendNetMessage("localhost", "x"));
    const int pid = std::stoi(recorded("pid"));
    EXPECT_NE(::kill(pid, 0), 0) << "client " << pid << " still runs";
}

} // namespace

FALAVOX_TEST_MAIN(QCoreApplication)
