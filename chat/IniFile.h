#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chat {

// A Windows-style INI file: "[Section]" headers and "Key=Value" lines, read by the
// program's one line rule (text/IniLine.h). Sections and keys match without regard to
// ASCII case; lines of other sections and other keys are kept byte for byte when the file
// is saved. The text is UTF-8.
class IniFile {
public:
    explicit IniFile(QString path);

    // A missing or unreadable file reads as empty.
    void load();
    // Written to a temporary file renamed over the old one; false on failure.
    bool save() const;

    std::optional<QString> value(const QString& section, const QString& key) const;
    void setValue(const QString& section, const QString& key, const QString& value);

    const QString& path() const { return path_; }

private:
    int findSection(std::string_view section) const;

    QString path_;
    std::vector<std::string> lines_;
};

} // namespace chat
