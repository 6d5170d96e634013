#include "chat/TranscriptEntry.h"

#include <QLocale>
#include <QTime>
#include <gtest/gtest.h>

using namespace chat;

namespace {

void expectRun(const TextRun& run, const QString& text, const QColor& colour, const QString& family,
               double size) {
    EXPECT_EQ(run.text, text);
    EXPECT_EQ(run.colour, colour); // invalid: window-text colour
    EXPECT_EQ(run.fontFamily, family);
    EXPECT_EQ(run.pointSize, size);
}

} // namespace

TEST(TranscriptEntry, ownChatLineShowsTheLocalNameInBlue) {
    const auto runs = ownChatLineRuns("Ana", QStringLiteral("10:11:12"), "ol\xe1 <b>x</b>");
    ASSERT_EQ(runs.size(), 4u);
    expectRun(runs[0], QStringLiteral("<"), QColor(), QStringLiteral("MS Sans Serif"), 8);
    expectRun(runs[1], QStringLiteral("Ana "), QColor(0, 0, 255), QStringLiteral("MS Sans Serif"),
              8);
    expectRun(runs[2], QStringLiteral("10:11:12"), QColor(128, 128, 128),
              QStringLiteral("Small Fonts"), 7);
    expectRun(runs[3], QStringLiteral("> olá <b>x</b>\n"), QColor(),
              QStringLiteral("MS Sans Serif"), 8);
}

TEST(TranscriptEntry, receivedChatLineShowsTheSenderInTealAndDropsTheWireCr) {
    const auto runs = receivedChatLineRuns("Ana", QStringLiteral("T"), "oi\r");
    ASSERT_EQ(runs.size(), 4u);
    expectRun(runs[1], QStringLiteral("Ana "), QColor(0, 128, 128), QStringLiteral("MS Sans Serif"),
              8);
    expectRun(runs[3], QStringLiteral("> oi\n"), QColor(), QStringLiteral("MS Sans Serif"), 8);
    // Only the one CR of the line end goes; a line without it loses nothing.
    EXPECT_EQ(receivedChatLineRuns("A", QStringLiteral("T"), "x\r\r")[3].text,
              QStringLiteral("> x\r\n"));
    EXPECT_EQ(receivedChatLineRuns("A", QStringLiteral("T"), "xy")[3].text,
              QStringLiteral("> xy\n"));
    EXPECT_EQ(receivedChatLineRuns("A", QStringLiteral("T"), "\x80")[3].text,
              QStringLiteral("> €\n"));
}

TEST(TranscriptEntry, singleRunEntriesUseTheBaseFont) {
    auto runs = connectedNoticeRuns();
    ASSERT_EQ(runs.size(), 1u);
    expectRun(runs[0], QStringLiteral("Status> Conectado.\n"), QColor(),
              QStringLiteral("MS Sans Serif"), 8);
    runs = receivedStatusLineRuns("Status> Ocupado! Tente mais tarde...\r");
    ASSERT_EQ(runs.size(), 1u);
    expectRun(runs[0], QStringLiteral("Status> Ocupado! Tente mais tarde...\n"), QColor(),
              QStringLiteral("MS Sans Serif"), 8);
    runs = plainLineRuns("Status> Conectado com (Ana)");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].text, QStringLiteral("Status> Conectado com (Ana)\n"));
}

TEST(TranscriptEntry, timeStampIsTheLongTimeOfNow) {
    const QString before = QLocale::system().toString(QTime::currentTime(), QLocale::LongFormat);
    const QString stamp = timeStamp();
    const QString after = QLocale::system().toString(QTime::currentTime(), QLocale::LongFormat);
    EXPECT_TRUE(stamp == before || stamp == after) << stamp.toStdString();
    EXPECT_FALSE(stamp.isEmpty());
}
