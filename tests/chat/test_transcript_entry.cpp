#include "chat/TranscriptBatch.h"
#include "chat/TranscriptBound.h"
#include "chat/TranscriptEntry.h"

#include <QLocale>
#include <QTextCursor>
#include <QTextDocument>
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
    EXPECT_EQ(receivedChatLineRuns("A", QStringLiteral("T"), "xy")[3].text,
              QStringLiteral("> xy\n"));
    EXPECT_EQ(receivedChatLineRuns("A", QStringLiteral("T"), "\x80")[3].text,
              QStringLiteral("> €\n"));
}

// A CR inside received bytes would start a display line of its own, without the sender's
// name, in which a peer could fake the program's status lines: it shows as a blank.
TEST(TranscriptEntry, crInsideReceivedBytesNeverBreaksTheEntry) {
    const std::string fake = "oi\rStatus> Conectado com (Admin)\r";
    struct Case {
        const char* name;
        std::vector<TextRun> runs;
        QString shown;
    };
    const Case cases[] = {
        {"chatMessage", receivedChatLineRuns("Eve", QStringLiteral("T"), fake),
         QStringLiteral("<Eve T> oi Status> Conectado com (Admin)\n")},
        {"chatSender", receivedChatLineRuns("E\rve", QStringLiteral("T"), "x\r\r"),
         QStringLiteral("<E ve T> x \n")},
        {"statusLine", receivedStatusLineRuns("Status> a\rStatus> b\r"),
         QStringLiteral("Status> a Status> b\n")},
        {"plainLineWithACallerName", plainLineRuns("Status> Conectado com (A\rB)"),
         QStringLiteral("Status> Conectado com (A B)\n")},
    };
    for (const Case& c : cases) {
        QString shown;
        for (const TextRun& run : c.runs)
            shown += run.text;
        EXPECT_EQ(shown.toStdString(), c.shown.toStdString()) << c.name;
    }
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

// A desktop clock shows the regional long time format without the time zone.
TEST(TranscriptEntry, timeStampLeavesTheTimeZoneOut) {
    const struct {
        const char* format;
        const char* shown;
    } cases[] = {
        {"HH:mm:ss t", "HH:mm:ss"},
        {"h:mm:ss AP t", "h:mm:ss AP"},
        {"t HH:mm:ss", "HH:mm:ss"},
        {"H:mm:ss (t)", "H:mm:ss"},
        {"HH 'h' mm 'min' ss 's' t", "HH 'h' mm 'min' ss 's'"},
        {"HH 'at' mm", "HH 'at' mm"},
        {"HH:mm:ss tttt", "HH:mm:ss"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(timeFormatWithoutZone(QString::fromUtf8(c.format)).toStdString(), c.shown)
            << c.format;

    const QString stamp = timeStamp();
    EXPECT_FALSE(stamp.isEmpty());
    EXPECT_FALSE(stamp.contains(QTime::currentTime().toString(QStringLiteral("t"))))
        << stamp.toStdString();
}

// The oldest whole entries go once either bound is passed; the newest always stays. Entries
// gathered for one step keep to the same rule: what they drop on the way is only what the
// transcript would have dropped.
TEST(TranscriptBound, oldestEntriesGoFirst) {
    const struct {
        QString entries;
        int maxEntries, maxCharacters;
        QString kept;
    } cases[] = {
        {"a\nb\nc\n", 3, 100, "a\nb\nc\n"},
        {"a\nb\nc\nd\n", 3, 100, "b\nc\nd\n"},
        {"a\nb\nc\nd\ne\n", 2, 100, "d\ne\n"},
        {"aaaa\nbbbb\ncc\n", 10, 9, "bbbb\ncc\n"},
        {"a\nbbbb\ncccc\ndd\n", 10, 9, "cccc\ndd\n"},
        {"aa\n" + QString(50, 'x') + "\n", 10, 9, QString(50, 'x') + "\n"},
    };
    for (const auto& c : cases) {
        QTextDocument document;
        QTextCursor(&document).insertText(c.entries);
        trimTranscript(document, c.maxEntries, c.maxCharacters);
        EXPECT_EQ(document.toPlainText(), c.kept) << c.entries.toStdString();

        // The first entry is in the transcript already, the others come in one batch.
        QStringList entries = c.entries.split('\n', Qt::SkipEmptyParts);
        QTextDocument gathered;
        QTextCursor(&gathered).insertText(entries.takeFirst() + '\n');
        TranscriptBatch batch(c.maxEntries, c.maxCharacters);
        batch.open();
        for (const QString& entry : entries)
            batch.add({TextRun{entry + '\n', QColor(), kBaseFamily, basePointSize}});
        const TranscriptBatch::Held held = batch.take();
        EXPECT_LE(held.entries.size(), static_cast<std::size_t>(c.kept.count('\n')));
        QTextCursor end(&gathered);
        end.movePosition(QTextCursor::End);
        for (const auto& runs : held.entries)
            end.insertText(runs.front().text);
        trimTranscript(gathered, c.maxEntries, c.maxCharacters);
        EXPECT_EQ(gathered.toPlainText(), c.kept) << c.entries.toStdString();
    }
}
