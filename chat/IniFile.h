#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace chat {

// A Windows-style INI file: "[Section]" headers and "Key=Value" lines. Sections and keys
// match without regard to case; lines of other sections and other keys are kept as they
// were when the file is saved.
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
    int findSection(const QString& section) const;

    QString path_;
    std::vector<QString> lines_;
};

} // namespace chat
