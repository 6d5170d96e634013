#pragma once

#include <QColor>
#include <QString>
#include <string_view>
#include <vector>

// The transcript's entries as data: each entry is a list of runs, each run a text with
// its own font and colour. The chat window only writes these runs into its rich-text
// control, so what an entry looks like is decided here and checked without a screen.
namespace chat {

struct TextRun {
    QString text;
    QColor colour; // invalid: the control's window-text colour
    QString fontFamily;
    double pointSize = 8;
};

inline const QString kBaseFamily = QStringLiteral("MS Sans Serif");
inline constexpr double basePointSize = 8;
inline const QString kStampFamily = QStringLiteral("Small Fonts");
inline constexpr double stampPointSize = 7;
inline const QColor kOwnNameColour{0, 0, 255};
inline const QColor kPeerNameColour{0, 128, 128};
inline const QColor kStampColour{128, 128, 128};

// Every entry ends with this line break, inside its last run.
inline const QString kEntryBreak = QStringLiteral("\n");

// The window's two font families are Windows faces; where the machine lacks them, narrow
// faces that keep the designed widths come first in the font matching. Idempotent.
void installFontFallbacks();

// The local time of day in the user's long time format without the time zone, as a
// desktop clock shows it.
QString timeStamp();
// A QLocale time format with its time-zone field, and what only framed it, left out.
QString timeFormatWithoutZone(const QString& format);

// Received bytes as they are shown: Windows-1252 decoded, one trailing CR (the sender's
// line end) dropped so that each entry ends with exactly one line break. The entries
// below show any other CR or LF as a blank: an entry is always one display line.
QString receivedText(std::string_view bytes);

std::vector<TextRun> ownChatLineRuns(std::string_view user, const QString& stamp,
                                     std::string_view text);
std::vector<TextRun> receivedChatLineRuns(std::string_view sender, const QString& stamp,
                                          std::string_view message);
std::vector<TextRun> connectedNoticeRuns();
std::vector<TextRun> receivedStatusLineRuns(std::string_view text);
std::vector<TextRun> plainLineRuns(std::string_view text);

} // namespace chat
