#include "platform/files/Registry.h"

#include "platform/files/FileReplace.h"
#include "platform/system/SystemInfo.h"
#include "text/AsciiText.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr std::string_view root = "HKEY_LOCAL_MACHINE";
constexpr std::string_view header = "REGEDIT4";

// Key and value names compare without regard to ASCII case, as in the system registry.
bool sameName(std::string_view a, std::string_view b) {
    return text::sameTextAscii(a, b);
}

std::string fullKeyPath(std::string_view subKey) {
    while (!subKey.empty() && subKey.front() == '\\')
        subKey.remove_prefix(1);
    while (!subKey.empty() && subKey.back() == '\\')
        subKey.remove_suffix(1);
    std::string path(root);
    if (!subKey.empty()) {
        path += '\\';
        path += subKey;
    }
    return path;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = text::asciiLower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string rtrim(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return std::string(s);
}

std::string_view ltrim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

std::string escapeQuoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// A text that the quoted form holds exactly: one terminating zero and no line breaks.
bool fitsQuoted(std::string_view data) {
    if (data.empty() || data.back() != '\0') return false;
    data.remove_suffix(1);
    return std::none_of(data.begin(), data.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; });
}

std::string formatValue(std::string_view name, RegType type, std::string_view data,
                        std::string_view eol) {
    std::string line = name.empty() ? std::string("@") : escapeQuoted(name);
    line += '=';
    if (type == RegType::Dword && data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = (n << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", n);
        return line + buf + std::string(eol);
    }
    if (type == RegType::Sz && fitsQuoted(data))
        return line + escapeQuoted(data.substr(0, data.size() - 1)) + std::string(eol);
    if (type == RegType::Binary) {
        line += "hex:";
    } else {
        char buf[24];
        std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(type));
        line += buf;
    }
    // Long byte lists are wrapped as the format does, with a backslash and an indent.
    std::size_t column = line.size();
    for (std::size_t i = 0; i < data.size(); ++i) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(data[i]));
        line += buf;
        column += 2;
        if (i + 1 < data.size()) {
            line += ',';
            ++column;
            if (column >= 76) {
                line += '\\';
                line += eol;
                line += "  ";
                column = 2;
            }
        }
    }
    return line + std::string(eol);
}

} // namespace

// The file as a list of pieces, each keeping its exact bytes, so that what the program
// does not change is written back as it was.
struct Registry::Document {
    enum class Kind { Other, Section, Value };
    struct Piece {
        Kind kind = Kind::Other;
        std::string raw;  // the lines as read, with their line ends
        std::string key;  // Section: the bracketed path; Value: the section it belongs to
        std::string name; // Value: its name, empty for the default value
        RegType type = RegType::None;
        std::string data;
    };
    std::vector<Piece> pieces;
    std::string eol = "\r\n";

    bool hasKey(std::string_view path) const {
        return std::any_of(pieces.begin(), pieces.end(), [&](const Piece& p) {
            if (p.kind != Kind::Section || p.key.size() < path.size()) return false;
            return sameName(std::string_view(p.key).substr(0, path.size()), path) &&
                   (p.key.size() == path.size() || p.key[path.size()] == '\\');
        });
    }

    // Where a key appears more than once, the later value wins, as on import.
    const Piece* findValue(std::string_view path, std::string_view name) const {
        const Piece* found = nullptr;
        for (const Piece& p : pieces)
            if (p.kind == Kind::Value && sameName(p.key, path) && sameName(p.name, name))
                found = &p;
        return found;
    }

    void endLastLine() {
        if (pieces.empty()) return;
        std::string& raw = pieces.back().raw;
        completeLine(raw);
    }

    // Ends a line that has no LF yet. A line cut off right after its CR gets the LF
    // that completes its CR LF; a second line end behind the CR would leave the CR as a
    // stray control character inside the line, which makes the whole store unreadable.
    void completeLine(std::string& raw) const {
        if (raw.empty() || raw.back() == '\n') return;
        raw += raw.back() == '\r' ? std::string("\n") : eol;
    }

    void addSection(const std::string& path) {
        endLastLine();
        // A blank line between keys, as the format writes them.
        if (!pieces.empty() && pieces.back().raw != eol && pieces.back().raw != "\n")
            pieces.push_back({Kind::Other, eol, {}, {}, RegType::None, {}});
        pieces.push_back({Kind::Section, "[" + path + "]" + eol, path, {}, RegType::None, {}});
    }

    void setValue(const std::string& path, std::string_view name, RegType type, std::string data) {
        for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
            if (it->kind == Kind::Value && sameName(it->key, path) && sameName(it->name, name)) {
                bool ended = !it->raw.empty() && it->raw.back() == '\n';
                // A last line without a line end stays without one; a long value's
                // wrapped lines still need theirs.
                it->raw = formatValue(it->name, type, data, eol);
                if (!ended) it->raw.resize(it->raw.size() - eol.size());
                it->type = type;
                it->data = std::move(data);
                return;
            }
        }
        // A new value goes after the last value of the key's last section.
        std::optional<std::size_t> at;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (pieces[i].kind == Kind::Section && sameName(pieces[i].key, path))
                at = i + 1;
            else if (at && *at == i && pieces[i].kind == Kind::Value)
                at = i + 1;
        }
        if (!at) {
            addSection(path);
            at = pieces.size();
        }
        if (pieces[*at - 1].raw.empty())
            pieces[*at - 1].raw += eol;
        else
            completeLine(pieces[*at - 1].raw);
        Piece value{Kind::Value, formatValue(name, type, data, eol),
                    path,        std::string(name),
                    type,        std::move(data)};
        pieces.insert(pieces.begin() + static_cast<std::ptrdiff_t>(*at), std::move(value));
    }

    std::string text() const {
        std::string out;
        for (const Piece& p : pieces)
            out += p.raw;
        return out;
    }
};

namespace {

// Reads the store's text into pieces; on failure tells which line is wrong and why.
class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool parse(Registry::Document& doc, QString& error) {
        using Kind = Registry::Document::Kind;
        if (text_.empty()) return fail(error, 1, "o arquivo está vazio");
        if (text_.find('\0') != std::string_view::npos) {
            auto line = 1 + std::count(text_.begin(), text_.begin() + text_.find('\0'), '\n');
            return fail(error, static_cast<int>(line), "contém dados binários");
        }
        std::string_view line;
        std::string raw;
        if (!next(line, raw) || rtrim(line) != header)
            return fail(error, 1, "falta a primeira linha REGEDIT4");
        doc.eol = raw.size() >= 2 && raw.substr(raw.size() - 2) == "\r\n" ? "\r\n" : "\n";
        doc.pieces.push_back({Kind::Other, raw, {}, {}, RegType::None, {}});
        std::string section;
        while (next(line, raw)) {
            int lineNo = lineNo_;
            for (char c : line)
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                    return fail(error, lineNo, "contém caracteres de controle");
            std::string_view body = ltrim(line);
            if (body.empty() || body.front() == ';') {
                doc.pieces.push_back({Kind::Other, raw, {}, {}, RegType::None, {}});
                continue;
            }
            if (body.front() == '[') {
                std::string trimmed = rtrim(body);
                if (trimmed.size() < 3 || trimmed.back() != ']' || trimmed[1] == '-')
                    return fail(error, lineNo, "nome de chave inválido");
                section = trimmed.substr(1, trimmed.size() - 2);
                doc.pieces.push_back({Kind::Section, raw, section, {}, RegType::None, {}});
                continue;
            }
            if (section.empty()) return fail(error, lineNo, "valor fora de uma chave");
            Registry::Document::Piece value{Kind::Value, raw, section, {}, RegType::None, {}};
            if (!parseValue(body, value, error, lineNo)) return false;
            doc.pieces.push_back(std::move(value));
        }
        return true;
    }

private:
    // One physical line, without its end in `line` and with it in `raw`.
    bool next(std::string_view& line, std::string& raw) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        std::size_t stop = end == std::string_view::npos ? text_.size() : end + 1;
        raw.assign(text_.substr(pos_, stop - pos_));
        line = text_.substr(pos_, (end == std::string_view::npos ? text_.size() : end) - pos_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos_ = stop;
        ++lineNo_;
        return true;
    }

    static bool fail(QString& error, int line, const char* why) {
        error = QStringLiteral("linha %1: %2").arg(line).arg(QString::fromUtf8(why));
        return false;
    }

    // A quoted text with \" and \\ escapes; `s` is left after the closing quote.
    static bool quoted(std::string_view& s, std::string& out) {
        if (s.empty() || s.front() != '"') return false;
        for (std::size_t i = 1; i < s.size(); ++i) {
            if (s[i] == '"') {
                s.remove_prefix(i + 1);
                return true;
            }
            if (s[i] == '\\') {
                if (i + 1 >= s.size() || (s[i + 1] != '"' && s[i + 1] != '\\')) return false;
                ++i;
            }
            out += s[i];
        }
        return false;
    }

    bool parseValue(std::string_view body, Registry::Document::Piece& value, QString& error,
                    int lineNo) {
        if (body.front() == '@') {
            body.remove_prefix(1);
        } else if (!quoted(body, value.name)) {
            return fail(error, lineNo, "nome de valor sem aspas de fechamento");
        }
        body = ltrim(body);
        if (body.empty() || body.front() != '=')
            return fail(error, lineNo, "falta o sinal de igual");
        body = ltrim(body.substr(1));
        std::string rest = rtrim(body);
        std::string_view v = rest;
        if (!v.empty() && v.front() == '"') {
            std::string text;
            if (!quoted(v, text) || !ltrim(v).empty())
                return fail(error, lineNo, "texto sem aspas de fechamento");
            value.type = RegType::Sz;
            value.data = text + '\0';
            return true;
        }
        if (v.substr(0, 6) == "dword:") {
            v.remove_prefix(6);
            if (v.empty() || v.size() > 8) return fail(error, lineNo, "número dword inválido");
            std::uint32_t n = 0;
            for (char c : v) {
                int d = hexDigit(c);
                if (d < 0) return fail(error, lineNo, "número dword inválido");
                n = (n << 4) | static_cast<std::uint32_t>(d);
            }
            value.type = RegType::Dword;
            for (int i = 0; i < 4; ++i)
                value.data += static_cast<char>((n >> (8 * i)) & 0xFF);
            return true;
        }
        if (v.substr(0, 3) != "hex") return fail(error, lineNo, "tipo de valor desconhecido");
        v.remove_prefix(3);
        value.type = RegType::Binary;
        if (!v.empty() && v.front() == '(') {
            std::size_t close = v.find(')');
            if (close == std::string_view::npos || close < 2 || close > 9)
                return fail(error, lineNo, "tipo hex inválido");
            std::uint32_t t = 0;
            for (char c : v.substr(1, close - 1)) {
                int d = hexDigit(c);
                if (d < 0) return fail(error, lineNo, "tipo hex inválido");
                t = (t << 4) | static_cast<std::uint32_t>(d);
            }
            value.type = static_cast<RegType>(t);
            v.remove_prefix(close + 1);
        }
        if (v.empty() || v.front() != ':') return fail(error, lineNo, "tipo hex inválido");
        v.remove_prefix(1);
        std::string bytes(v);
        // A list ending in a backslash goes on in the next line.
        while (!bytes.empty() && bytes.back() == '\\') {
            bytes.pop_back();
            std::string_view more;
            std::string moreRaw;
            if (!next(more, moreRaw))
                return fail(error, lineNo, "lista hex interrompida no fim do arquivo");
            value.raw += moreRaw;
            bytes += rtrim(ltrim(more));
        }
        std::string_view list = bytes;
        while (!list.empty()) {
            list = ltrim(list);
            if (list.size() < 2 || hexDigit(list[0]) < 0 || hexDigit(list[1]) < 0)
                return fail(error, lineNo, "lista hex inválida");
            value.data += static_cast<char>(hexDigit(list[0]) * 16 + hexDigit(list[1]));
            list = ltrim(list.substr(2));
            if (!list.empty()) {
                if (list.front() != ',' || list.size() == 1)
                    return fail(error, lineNo, "lista hex inválida");
                list.remove_prefix(1);
            }
        }
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int lineNo_ = 0;
};

// The folder nearest to `path` that exists, which is where new folders would be made.
QString nearestExisting(const QString& path) {
    QFileInfo info(path);
    while (!info.exists()) {
        QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath()) break;
        info = QFileInfo(parent);
    }
    return info.absoluteFilePath();
}

} // namespace

Registry::Registry(QString filePath) : filePath_(std::move(filePath)) {}

QString Registry::defaultPath() {
    return configDirectory() + QStringLiteral("/registry.reg");
}

bool Registry::canWrite() const {
    QFileInfo file(filePath_);
    QString folder = nearestExisting(file.absolutePath());
    auto check = [this](const QString& path) {
        if (writable) return writable(path);
        return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
    };
    if (file.exists() && !check(file.absoluteFilePath())) return false;
    return check(folder);
}

RegStatus Registry::load(Document& doc, bool& exists) {
    corruption_.clear();
    exists = false;
    removeStaleTemporaries(filePath_);
    int fd = ::open(QFile::encodeName(filePath_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? RegStatus::Success : RegStatus::IoFailed;
    std::string text;
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return RegStatus::IoFailed;
        }
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    exists = true;
    QString why;
    if (!Parser(text).parse(doc, why)) {
        corruption_ = QStringLiteral("O arquivo de configuração %1 está danificado (%2).")
                          .arg(QDir::toNativeSeparators(filePath_), why);
        doc.pieces.clear();
        return RegStatus::CorruptStore;
    }
    return RegStatus::Success;
}

RegStatus Registry::save(const Document& doc) {
    const std::string text = doc.text();
    return replaceFile(filePath_, text, saveFault) ? RegStatus::Success : RegStatus::IoFailed;
}

RegStatus Registry::openKey(std::string_view subKey, RegAccess access,
                            std::unique_ptr<RegistryKey>& key) {
    key.reset();
    Document doc;
    bool exists = false;
    if (RegStatus s = load(doc, exists); s != RegStatus::Success) return s;
    std::string path = fullKeyPath(subKey);
    if (!exists || !doc.hasKey(path)) return RegStatus::FileNotFound;
    if (access == RegAccess::AllAccess && !canWrite()) return RegStatus::AccessDenied;
    key.reset(new RegistryKey(*this, path, access));
    return RegStatus::Success;
}

RegStatus Registry::createKey(std::string_view subKey, std::unique_ptr<RegistryKey>& key) {
    key.reset();
    Document doc;
    bool exists = false;
    if (RegStatus s = load(doc, exists); s != RegStatus::Success) return s;
    if (!canWrite()) return RegStatus::AccessDenied;
    std::string path = fullKeyPath(subKey);
    if (!exists || !doc.hasKey(path)) {
        if (!exists)
            doc.pieces.push_back(
                {Document::Kind::Other, std::string(header) + doc.eol, {}, {}, RegType::None, {}});
        doc.addSection(path);
        if (RegStatus s = save(doc); s != RegStatus::Success) return s;
    }
    key.reset(new RegistryKey(*this, path, RegAccess::AllAccess));
    return RegStatus::Success;
}

RegStatus RegistryKey::queryValue(std::string_view name, RegType* type, void* data,
                                  std::uint32_t* size) const {
    Registry::Document doc;
    bool exists = false;
    if (RegStatus s = registry_->load(doc, exists); s != RegStatus::Success) return s;
    const Registry::Document::Piece* value = doc.findValue(path_, name);
    if (!value) return RegStatus::FileNotFound;
    if (type) *type = value->type;
    auto needed = static_cast<std::uint32_t>(value->data.size());
    if (!data) {
        if (size) *size = needed;
        return RegStatus::Success;
    }
    std::uint32_t room = size ? *size : 0;
    std::memcpy(data, value->data.data(), std::min(room, needed));
    if (size) *size = needed;
    return needed > room ? RegStatus::MoreData : RegStatus::Success;
}

RegStatus RegistryKey::setValue(std::string_view name, RegType type, const void* data,
                                std::uint32_t size) {
    return setValues({{name, type, std::string_view(static_cast<const char*>(data), size)}});
}

RegStatus RegistryKey::setValues(std::initializer_list<NamedValue> values) {
    if (access_ != RegAccess::AllAccess || !registry_->canWrite()) return RegStatus::AccessDenied;
    Registry::Document doc;
    bool exists = false;
    if (RegStatus s = registry_->load(doc, exists); s != RegStatus::Success) return s;
    if (!exists)
        doc.pieces.push_back({Registry::Document::Kind::Other,
                              std::string(header) + doc.eol,
                              {},
                              {},
                              RegType::None,
                              {}});
    for (const NamedValue& value : values)
        doc.setValue(path_, value.name, value.type, std::string(value.data));
    return registry_->save(doc);
}

} // namespace platform
