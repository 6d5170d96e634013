#include "chat/TranscriptEntry.h"

#include "platform/system/Cp1252.h"

#include <QDateTime>
#include <QFont>
#include <QLocale>
#include <QStringList>
#include <QTime>

namespace chat {
namespace {

TextRun base(QString text) {
    return TextRun{std::move(text), QColor(), kBaseFamily, basePointSize};
}

// A line break inside an entry's text would start a display line of its own, without
// the sender's name: a peer could make it look like one of the program's status lines.
// Every CR or LF that is not the entry's own break therefore shows as a blank.
QString onOneLine(QString text) {
    for (QChar& c : text)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) c = QLatin1Char(' ');
    return text;
}

std::vector<TextRun> chatLineRuns(const QString& name, const QColor& nameColour,
                                  const QString& stamp, const QString& text) {
    return {
        base(QStringLiteral("<")),
        TextRun{onOneLine(name) + QLatin1Char(' '), nameColour, kBaseFamily, basePointSize},
        TextRun{stamp, kStampColour, kStampFamily, stampPointSize},
        base(QStringLiteral("> ") + onOneLine(text) + kEntryBreak),
    };
}

} // namespace

void installFontFallbacks() {
    static const bool installed = [] {
        const QStringList narrow{
            QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans Narrow"),
            QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Arial Narrow")};
        QFont::insertSubstitutions(kBaseFamily, narrow);
        QFont::insertSubstitutions(kStampFamily, narrow);
        return true;
    }();
    (void)installed;
}

QString timeFormatWithoutZone(const QString& format) {
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (quoted || c != QLatin1Char('t')) {
            out += c;
            continue;
        }
        while (i + 1 < format.size() && format[i + 1] == QLatin1Char('t'))
            ++i;
        // Brackets that only held the zone go with it, and so does one side's blank.
        if (out.endsWith(QLatin1Char('(')) && i + 1 < format.size() &&
            format[i + 1] == QLatin1Char(')')) {
            out.chop(1);
            ++i;
        }
        if (out.endsWith(QLatin1Char(' ')))
            out.chop(1);
        else if (i + 1 < format.size() && format[i + 1] == QLatin1Char(' '))
            ++i;
    }
    return out.trimmed();
}

QString timeStamp() {
    // The lines of a burst share their second: its stamp is formatted once. Only the
    // user-interface thread shows lines.
    static qint64 second = -1;
    static QString stamp;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (now != second) {
        const QLocale locale = QLocale::system();
        stamp = locale.toString(QTime::currentTime(),
                                timeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat)));
        second = now;
    }
    return stamp;
}

QString receivedText(std::string_view bytes) {
    if (!bytes.empty() && bytes.back() == '\r') bytes.remove_suffix(1);
    return platform::fromCp1252(bytes);
}

std::vector<TextRun> ownChatLineRuns(std::string_view user, const QString& stamp,
                                     std::string_view text) {
    return chatLineRuns(platform::fromCp1252(user), kOwnNameColour, stamp,
                        platform::fromCp1252(text));
}

std::vector<TextRun> receivedChatLineRuns(std::string_view sender, const QString& stamp,
                                          std::string_view message) {
    return chatLineRuns(platform::fromCp1252(sender), kPeerNameColour, stamp,
                        receivedText(message));
}

std::vector<TextRun> connectedNoticeRuns() {
    return {base(QStringLiteral("Status> Conectado.") + kEntryBreak)};
}

std::vector<TextRun> receivedStatusLineRuns(std::string_view text) {
    return {base(onOneLine(receivedText(text)) + kEntryBreak)};
}

std::vector<TextRun> plainLineRuns(std::string_view text) {
    return {base(onOneLine(platform::fromCp1252(text)) + kEntryBreak)};
}

} // namespace chat
