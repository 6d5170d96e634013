#include "chat/IniFile.h"

#include "platform/files/FileReplace.h"
#include "text/AsciiText.h"
#include "text/IniLine.h"

#include <QFile>

namespace chat {
namespace {

using text::IniLine;

bool isHeader(std::string_view line) {
    return text::readIniLine(line).kind == IniLine::Kind::Section;
}

// The line's value when it is an entry of `key`.
std::optional<std::string_view> valueOf(std::string_view line, std::string_view key) {
    const IniLine read = text::readIniLine(line);
    if (read.kind != IniLine::Kind::Entry || !text::sameTextAscii(read.name, key))
        return std::nullopt;
    return read.value;
}

bool isBlank(std::string_view line) {
    return line.find_first_not_of(" \t\r\v\f") == std::string_view::npos;
}

} // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}

void IniFile::load() {
    lines_.clear();
    platform::removeStaleTemporaries(path_);
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = file.readAll();
    std::string_view text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    for (;;) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines_.emplace_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    while (!lines_.empty() && lines_.back().empty())
        lines_.pop_back();
}

bool IniFile::save() const {
    std::string text;
    for (const std::string& line : lines_)
        text += line + "\r\n";
    return platform::replaceFile(path_, text);
}

int IniFile::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const IniLine read = text::readIniLine(lines_[i]);
        if (read.kind == IniLine::Kind::Section && text::sameTextAscii(read.name, section))
            return static_cast<int>(i);
    }
    return -1;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
    const int at = findSection(section.toStdString());
    if (at < 0) return std::nullopt;
    const std::string name = key.toStdString();
    for (std::size_t i = static_cast<std::size_t>(at) + 1;
         i < lines_.size() && !isHeader(lines_[i]); ++i)
        if (const auto found = valueOf(lines_[i], name))
            return QString::fromUtf8(found->data(), static_cast<qsizetype>(found->size()));
    return std::nullopt;
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value) {
    const std::string name = key.toStdString();
    const std::string line = name + '=' + value.toStdString();
    int at = findSection(section.toStdString());
    if (at < 0) {
        if (!lines_.empty() && !lines_.back().empty()) lines_.emplace_back();
        lines_.push_back('[' + section.toStdString() + ']');
        lines_.push_back(line);
        return;
    }
    std::size_t i = static_cast<std::size_t>(at) + 1;
    std::size_t lastEntry = i;
    for (; i < lines_.size() && !isHeader(lines_[i]); ++i) {
        if (valueOf(lines_[i], name)) {
            lines_[i] = line;
            return;
        }
        if (!isBlank(lines_[i])) lastEntry = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastEntry), line);
}

} // namespace chat
