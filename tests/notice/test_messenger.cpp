#include "notice/MessageLines.h"
#include "notice/Messenger.h"
#include "tests/notice/FakeMailslot.h"
#include "tests/support/EventLoop.h"
#include "tests/support/QtMain.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using notice::TMessenger;
using testsupport::spin;
using testsupport::waitUntil;

namespace {

std::string message(const std::vector<std::string>& lines) {
    return notice::joinMessageLines(lines);
}

// The command each recorded write carries, with its target: "*:ONLINE_NOTIFY".
std::vector<std::string> commandsSent(const FakeMailslotRecord& record) {
    std::vector<std::string> sent;
    for (const auto& write : record.writes) {
        const auto lines = notice::splitMessageLines(write.message);
        sent.push_back(write.target + ":" + (lines.size() == 5 ? lines[3] : "<text>"));
    }
    return sent;
}

class MessengerTest : public ::testing::Test {
protected:
    MessengerTest() {
        messenger = std::make_unique<TMessenger>(nullptr, std::make_unique<FakeMailslot>(record));
        messenger->SetInterval(60000);
        messenger->OnNewLine = [this](auto*, const std::string& origin, const std::string& time,
                                      const std::string& line) {
            events.push_back("line:" + origin + "|" + time + "|" + line);
        };
        messenger->OnNewMemo = [this](auto*, const std::string& origin, const std::string&,
                                      const notice::TStringList& lines) {
            std::string joined;
            for (const auto& line : lines)
                joined += "[" + line + "]";
            events.push_back("memo:" + origin + "|" + joined);
        };
        messenger->OnUserListChange = [this](auto*, const notice::TStringList& users) {
            std::string joined;
            for (const auto& user : users)
                joined += "[" + user + "]";
            events.push_back("users:" + joined);
        };
        messenger->OnError = [this](auto*, const std::string& text) {
            events.push_back("error:" + text);
        };
        messenger->OnTimer = [this](auto*) { ++ticks; };
    }

    // Delivers one message and waits until the messenger has read it.
    void receive(const std::string& text) {
        const int before = record->reads.load();
        ASSERT_TRUE(record->deliver(text));
        ASSERT_TRUE(waitUntil([&] { return record->reads.load() > before; }));
    }

    std::string command(const std::string& origin, const std::string& name) {
        return message({"COMMAND_MSG", "10:00:00", origin, name, "END_MESSAGE"});
    }

    std::shared_ptr<FakeMailslotRecord> record = std::make_shared<FakeMailslotRecord>();
    std::unique_ptr<TMessenger> messenger;
    std::vector<std::string> events;
    int ticks = 0;
};

TEST(MessageLines, splitsAtEveryLineEndAndStopsAtAZeroByte) {
    using Lines = std::vector<std::string>;
    const struct {
        std::string text;
        Lines lines;
    } cases[] = {
        {"A\r\nB", {"A", "B"}},
        {"A\rB\n", {"A", "B"}},
        {"A\r\n\r\nB", {"A", "", "B"}},
        {"A\n\rB", {"A", "", "B"}},
        {"A\r\n", {"A"}},
        {"", {}},
        {"\r\n", {""}},
        {std::string("A\0B\r\nC", 6), {"A"}},
        {std::string("\0A\r\n", 4), {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(notice::splitMessageLines(c.text), c.lines) << c.text;
}

TEST_F(MessengerTest, dispatchesEachKindByItsLines) {
    const struct {
        std::string text;
        std::vector<std::string> events;
    } cases[] = {
        {message({"LINE_MSG", "T", "PC2", "hello"}), {"line:PC2|T|hello"}},
        {message({"LINE_MSG", "T", "PC2", "hello", "more", "END"}), {"line:PC2|T|hello"}},
        {message({"MEMO_MSG", "T", "PC2", "unused"}), {"memo:PC2|"}},
        {message({"MEMO_MSG", "T", "PC2", "unused", "END"}), {"memo:PC2|"}},
        {message({"MEMO_MSG", "T", "PC2", "unused", "a", "END"}), {"memo:PC2|[a]"}},
        {message({"MEMO_MSG", "T", "PC2", "unused", "a", "", "b", "END"}), {"memo:PC2|[a][][b]"}},
        {message({"LINE_MSG", "T", "PC2"}), {}},
        {message({"LINE_MSG"}), {}},
        {message({"line_msg", "T", "PC2", "x"}), {}},
        {message({"END_MESSAGE", "T", "PC2", "x"}), {}},
        {std::string("ME\0PC2\0Convite ao chat: x\r\n", 27), {}},
        {"", {}},
    };
    messenger->Activate();
    for (const auto& c : cases) {
        events.clear();
        receive(c.text);
        EXPECT_EQ(events, c.events) << c.text;
    }
}

TEST_F(MessengerTest, commandsKeepTheUserListAndAnswerAnnouncements) {
    messenger->Activate();
    const std::string self = messenger->Computer();
    record->writes.clear();
    const struct {
        std::string origin, command;
        std::vector<std::string> events, sent;
    } steps[] = {
        {"PC2", "ONLINE_NOTIFY", {"users:[PC2]"}, {"PC2:ONLINE_RESPONSE"}},
        {"PC2", "ONLINE_NOTIFY", {}, {"PC2:ONLINE_RESPONSE"}},
        {"PC3", "ONLINE_RESPONSE", {"users:[PC2][PC3]"}, {}},
        {"PC4", "OFFLINE_NOTIFY", {}, {}},
        {"PC2", "OFFLINE_NOTIFY", {"users:[PC3]"}, {}},
        {"PC3", "SOMETHING_ELSE", {}, {}},
        {self, "ONLINE_NOTIFY", {}, {}},
        {"x" + self, "ONLINE_RESPONSE", {"users:[PC3][x" + self + "]"}, {}},
    };
    for (const auto& step : steps) {
        events.clear();
        record->writes.clear();
        receive(command(step.origin, step.command));
        EXPECT_EQ(events, step.events) << step.origin << " " << step.command;
        EXPECT_EQ(commandsSent(*record), step.sent) << step.origin << " " << step.command;
    }
}

TEST_F(MessengerTest, ownNameInOtherLetterCaseIsAnotherComputer) {
    messenger->Activate();
    std::string other = messenger->Computer();
    for (char& c : other)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (other == messenger->Computer()) GTEST_SKIP() << "host name has no letters";
    receive(command(other, "ONLINE_RESPONSE"));
    EXPECT_EQ(events, std::vector<std::string>{"users:[" + other + "]"});
}

TEST_F(MessengerTest, errorTextsInEachState) {
    messenger->Deactivate();
    messenger->Activate();
    messenger->Activate();
    messenger->Deactivate();
    messenger->Deactivate();
    EXPECT_EQ(events, (std::vector<std::string>{
                          "error:Cannot Deactivate an Inactive TMessenger Component",
                          "error:You tried to Activate an active TMessenger component",
                          "error:Cannot Deactivate an Inactive TMessenger Component"}));
    EXPECT_EQ(commandsSent(*record),
              (std::vector<std::string>{"*:ONLINE_NOTIFY", "*:OFFLINE_NOTIFY"}));
}

TEST_F(MessengerTest, withoutAnErrorHandlerErrorsPassUnnoticed) {
    messenger->OnError = nullptr;
    record->unreachable.insert("PC9");
    EXPECT_NO_THROW({
        messenger->Deactivate();
        messenger->SendTextMessage("PC9", "x");
        messenger->Activate();
        messenger->Activate();
    });
}

TEST_F(MessengerTest, takenMailslotLeavesItInactiveSilentAndWithoutTicks) {
    record->slotTaken = true;
    messenger->SetInterval(0);
    messenger->Activate();
    EXPECT_EQ(events, std::vector<std::string>{"error:Could not Create Mail Slot"});
    EXPECT_FALSE(messenger->Active());
    EXPECT_TRUE(record->writes.empty());
    spin(50);
    EXPECT_EQ(ticks, 0);
}

TEST_F(MessengerTest, sendsFromAnInactiveComponentAndRefusesTextToAll) {
    messenger->SendTextMessage("*", "to all");
    EXPECT_TRUE(record->writes.empty());
    messenger->SendTextMessage("PC2", "hi\r\nthere");
    messenger->SendCommand("PC3", "ONLINE_RESPONSE");
    ASSERT_EQ(record->writes.size(), 2u);
    EXPECT_EQ(record->writes[0].message, "hi\r\nthere\r\n");
    EXPECT_EQ(record->writes[0].boxName, "SignalBox");
    EXPECT_EQ(commandsSent(*record)[1], "PC3:ONLINE_RESPONSE");
    EXPECT_TRUE(events.empty());
}

TEST_F(MessengerTest, failedRemoteOpenDropsItsLines) {
    record->unreachable.insert("GONE");
    messenger->SendTextMessage("GONE", "lost");
    messenger->SendTextMessage("PC2", "kept");
    EXPECT_EQ(events, std::vector<std::string>{"error:Could not Open a Remote Mail Slot"});
    ASSERT_EQ(record->writes.size(), 1u);
    EXPECT_EQ(record->writes[0].message, "kept\r\n");
}

TEST_F(MessengerTest, newBoxNameWhileActiveSaysGoodbyeUnderTheNewName) {
    messenger->Activate();
    receive(command("PC2", "ONLINE_RESPONSE"));
    record->writes.clear();
    messenger->SetBoxName("SignalBox");
    EXPECT_TRUE(record->writes.empty());
    messenger->SetBoxName("messngr");
    EXPECT_EQ(commandsSent(*record),
              (std::vector<std::string>{"*:OFFLINE_NOTIFY", "*:ONLINE_NOTIFY"}));
    EXPECT_EQ(record->writes[0].boxName, "messngr");
    EXPECT_EQ(record->createdBoxes, (std::vector<std::string>{"SignalBox", "messngr"}));
    EXPECT_EQ(messenger->UserList(), std::vector<std::string>{"PC2"});
    EXPECT_TRUE(messenger->Active());
}

TEST_F(MessengerTest, firstTickComesAtOnceAndIntervalZeroDoesNotPause) {
    messenger->Activate();
    EXPECT_TRUE(waitUntil([&] { return ticks == 1; }));
    spin(30);
    EXPECT_EQ(ticks, 1);
    messenger->Deactivate();
    ticks = 0;
    messenger->SetInterval(0);
    messenger->Activate();
    // Ticks follow one another: with the default second between them, a hundred would
    // take well over the wait's bound, however loaded the machine.
    EXPECT_TRUE(waitUntil([&] { return ticks >= 100; }, 30000));
}

TEST_F(MessengerTest, nothingIsRaisedAfterDeactivationForStepsAlreadyQueued) {
    messenger->SetInterval(0);
    messenger->Activate();
    ASSERT_TRUE(waitUntil([&] { return ticks > 0; }));
    // The message waits in the mailslot for the event loop's next turn.
    ASSERT_TRUE(record->deliver(message({"LINE_MSG", "T", "PC2", "late"})));
    messenger->Deactivate();
    ticks = 0;
    events.clear();
    spin(50);
    EXPECT_EQ(ticks, 0);
    EXPECT_TRUE(events.empty());
}

TEST_F(MessengerTest, destroyedWhileStepsArePendingAndFromInsideAnEvent) {
    messenger->SetInterval(0);
    messenger->Activate();
    ASSERT_TRUE(record->deliver(message({"LINE_MSG", "T", "PC2", "x"})));
    messenger.reset();
    spin(50);
    EXPECT_TRUE(events.empty());

    // A handler that deactivates from a step the reader waits on must not hang.
    messenger = std::make_unique<TMessenger>(nullptr, std::make_unique<FakeMailslot>(record));
    messenger->OnNewLine = [&](auto* sender, auto&&...) {
        sender->Deactivate();
        events.push_back("line");
    };
    messenger->Activate();
    receive(message({"LINE_MSG", "T", "PC2", "x"}));
    EXPECT_EQ(events, std::vector<std::string>{"line"});
    EXPECT_FALSE(messenger->Active());
}

TEST_F(MessengerTest, aBurstArrivesWholeAndInOrder) {
    constexpr int count = 1000;
    messenger->Activate();
    std::vector<std::string> lines;
    messenger->OnNewLine = [&](auto*, auto&, auto&, const std::string& line) {
        lines.push_back(line);
    };
    // Written from another thread, because the pair holds far fewer than a thousand
    // datagrams and the writer must wait for the messenger to read.
    std::thread writer([this] {
        for (int i = 0; i < count; ++i)
            record->deliver(message({"LINE_MSG", "T", "PC2", std::to_string(i)}));
    });
    EXPECT_TRUE(waitUntil([&] { return lines.size() == count; }, 20000));
    writer.join();
    ASSERT_EQ(lines.size(), std::size_t{count});
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(lines[i], std::to_string(i));
    messenger.reset();
}

} // namespace

FALAVOX_TEST_MAIN(QCoreApplication)
