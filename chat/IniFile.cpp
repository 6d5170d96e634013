#include "chat/IniFile.h"

#include "platform/files/FileReplace.h"

#include <QFile>

namespace chat {
namespace {

bool isHeader(const QString& line) {
    const QString t = line.trimmed();
    return t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'));
}

QString headerName(const QString& line) {
    const QString t = line.trimmed();
    return t.mid(1, t.size() - 2).trimmed();
}

// The key of a "Key=Value" line, or an empty string for any other line.
QString keyOf(const QString& line) {
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    return eq <= 0 ? QString() : line.left(eq).trimmed();
}

} // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}

void IniFile::load() {
    lines_.clear();
    platform::removeStaleTemporaries(path_);
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return;
    const QString text = QString::fromUtf8(file.readAll());
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        QString l = line;
        if (l.endsWith(QLatin1Char('\r'))) l.chop(1);
        lines_.push_back(l);
    }
    while (!lines_.empty() && lines_.back().isEmpty())
        lines_.pop_back();
}

bool IniFile::save() const {
    QString text;
    for (const QString& line : lines_)
        text += line + QStringLiteral("\r\n");
    const QByteArray bytes = text.toUtf8();
    return platform::replaceFile(
        path_, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

int IniFile::findSection(const QString& section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (isHeader(lines_[i]) && headerName(lines_[i]).compare(section, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
    const int at = findSection(section);
    if (at < 0) return std::nullopt;
    for (std::size_t i = static_cast<std::size_t>(at) + 1;
         i < lines_.size() && !isHeader(lines_[i]); ++i)
        if (keyOf(lines_[i]).compare(key, Qt::CaseInsensitive) == 0)
            return lines_[i].mid(lines_[i].indexOf(QLatin1Char('=')) + 1);
    return std::nullopt;
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value) {
    const QString line = key + QLatin1Char('=') + value;
    int at = findSection(section);
    if (at < 0) {
        if (!lines_.empty() && !lines_.back().isEmpty()) lines_.emplace_back();
        lines_.push_back(QLatin1Char('[') + section + QLatin1Char(']'));
        lines_.push_back(line);
        return;
    }
    std::size_t i = static_cast<std::size_t>(at) + 1;
    std::size_t lastEntry = i;
    for (; i < lines_.size() && !isHeader(lines_[i]); ++i) {
        if (keyOf(lines_[i]).compare(key, Qt::CaseInsensitive) == 0) {
            lines_[i] = line;
            return;
        }
        if (!lines_[i].trimmed().isEmpty()) lastEntry = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastEntry), line);
}

} // namespace chat
