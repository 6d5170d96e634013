#include "platform/system/Cp1252.h"

#include <algorithm>
#include <array>

namespace platform {
namespace {

// 0x80 to 0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> highControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char byteFor(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (std::size_t i = 0; i < highControls.size(); ++i)
        if (highControls[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

} // namespace

QString fromCp1252(std::string_view bytes) {
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (unsigned char b : bytes)
        *out++ = QChar(b >= 0x80 && b < 0xA0 ? highControls[b - 0x80] : char16_t(b));
    return text;
}

std::string toCp1252(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        // A character outside the basic plane is one unknown character, not two.
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ++i;
        bytes.push_back(byteFor(c.unicode()));
    }
    return bytes;
}

std::optional<std::string> toCp1252Exactly(const QString& text) {
    std::string bytes = toCp1252(text);
    // A "?" that was not in the text stands for a character the code page lacks.
    if (static_cast<qsizetype>(std::count(bytes.begin(), bytes.end(), '?')) != text.count(u'?') ||
        static_cast<qsizetype>(bytes.size()) != text.size())
        return std::nullopt;
    return bytes;
}

} // namespace platform
