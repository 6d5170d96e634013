#include "notice/InvitationNotice.h"
#include "notice/NTLib.h"
#include "notice/NetMessageQueue.h"
#include "platform/system/Cp1252.h"
#include "tests/support/EventLoop.h"
#include "tests/support/Files.h"
#include "tests/support/QtMain.h"
#include "work/WorkPool.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

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
    // The messenger service answers later: what is shown before and after its answer.
    const struct {
        bool nt;
        Outcome outcome;
        std::vector<std::string> linesMeanwhile;
        std::vector<std::string> lines;
    } cases[] = {
        {true, Outcome::delivered, {viaService}, {viaService, sent}},
        {true, Outcome::refused, {viaService}, {viaService, failed}},
        {true, Outcome::throws, {viaService}, {viaService}},
        {false, Outcome::delivered, {viaWinPopUp, sent}, {viaWinPopUp, sent}},
        {false, Outcome::throws, {viaWinPopUp, failed}, {viaWinPopUp, failed}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> calls, lines;
        std::function<void(bool)> answer;
        NoticeRoutes routes;
        routes.netMessage = [&](const std::string& to, const std::string& text,
                                std::function<void(bool)> delivered) {
            calls.push_back(to + "|" + text);
            if (c.outcome == Outcome::throws) throw std::runtime_error("no memory");
            answer = std::move(delivered);
        };
        routes.winPopUp = [&](const std::string& user, const std::string& to,
                              const std::string& text) {
            calls.push_back(user + "|" + to + "|" + text);
            if (c.outcome == Outcome::throws) throw std::bad_alloc();
        };
        int finished = 0;
        EXPECT_NO_THROW(sendInvitationNotice(
            c.nt, "Ana", "Pc2", "", routes, [&](const std::string& l) { lines.push_back(l); },
            [&] {
                EXPECT_EQ(lines, c.lines) << "finished before the last line";
                ++finished;
            }));
        EXPECT_EQ(lines, c.linesMeanwhile) << c.nt << int(c.outcome);
        if (answer) answer(c.outcome == Outcome::delivered);
        EXPECT_EQ(lines, c.lines) << c.nt << int(c.outcome);
        EXPECT_EQ(finished, 1) << c.nt << int(c.outcome);
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

TEST_F(NetMessageTest, aClientThatNeverAnswersOrIsToldToStopIsKilled) {
    client("exec sleep 600");
    for (const bool stopped : {false, true}) {
        std::stop_source stop;
        std::thread stopper;
        if (stopped)
            stopper = std::thread([&] {
                while (!QFile::exists(folder + "/stdin"))
                    QThread::msleep(5);
                stop.request_stop();
            });
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(SendNetMessage("127.0.0.1", "x", stop.get_token()));
        if (stopper.joinable()) stopper.join();
        // Told to stop, it gives up long before the client's own time is up.
        if (stopped) {
            EXPECT_LT(clock.elapsed(), netMessageTimeoutMs - 1000);
        }
        const int pid = std::stoi(recorded("pid"));
        EXPECT_NE(::kill(pid, 0), 0) << "client " << pid << " still runs";
        QFile::remove(folder + "/stdin");
    }
}

// Sends through a stand-in for the client that holds each send until the test answers it.
TEST(NetMessageQueue, sendsOneAtATimeInOrderAndReportsEachOnTheUserInterfaceThread) {
    work::WorkPool pool(4);
    std::mutex mutex;
    std::vector<std::string> sentTo;
    std::atomic<int> running{0}, mostAtOnce{0};
    std::atomic<int> release{0};
    NetMessageQueue queue(pool, [&](const std::string& to, const std::string&, std::stop_token) {
        const int now = ++running;
        if (now > mostAtOnce) mostAtOnce = now;
        int index;
        {
            std::lock_guard lock(mutex);
            index = static_cast<int>(sentTo.size());
            sentTo.push_back(to);
        }
        while (release.load() <= index)
            std::this_thread::yield();
        --running;
        return to != "Pc3";
    });
    std::vector<std::string> outcomes;
    for (const char* to : {"Pc2", "Pc3", "Pc4"})
        queue.send(to, "x", [&, to = std::string(to)](bool delivered) {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            outcomes.push_back(to + (delivered ? " sent" : " failed"));
        });
    EXPECT_TRUE(outcomes.empty());
    for (int i = 1; i <= 3; ++i) {
        release = i;
        ASSERT_TRUE(testsupport::waitUntil([&] { return outcomes.size() == std::size_t(i); }));
    }
    EXPECT_EQ(outcomes, (std::vector<std::string>{"Pc2 sent", "Pc3 failed", "Pc4 sent"}));
    EXPECT_EQ(sentTo, (std::vector<std::string>{"Pc2", "Pc3", "Pc4"}));
    EXPECT_EQ(mostAtOnce, 1);
    EXPECT_TRUE(queue.idle());
}

TEST(NetMessageQueue, goneQueueStopsItsSendAndReportsNothing) {
    work::WorkPool pool(2);
    auto stopSeen = std::make_shared<std::atomic<bool>>(false);
    auto started = std::make_shared<std::atomic<bool>>(false);
    int reports = 0;
    {
        NetMessageQueue queue(pool, [stopSeen, started](const std::string&, const std::string&,
                                                        std::stop_token stop) {
            *started = true;
            while (!stop.stop_requested())
                std::this_thread::yield();
            *stopSeen = true;
            return true;
        });
        queue.send("Pc2", "x", [&](bool) { ++reports; });
        queue.send("Pc3", "x", [&](bool) { ++reports; });
        while (!*started)
            std::this_thread::yield();
    }
    ASSERT_TRUE(testsupport::waitUntil([&] { return stopSeen->load(); }));
    testsupport::spin(50);
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(pool.pending(), 0u);
}

} // namespace

FALAVOX_TEST_MAIN(QCoreApplication)
