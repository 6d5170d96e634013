#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The fields of a packet, read and written byte by byte. The NetBIOS services' own headers
// are big-endian; the SMB messages they carry are little-endian; both are here.
namespace wire {

// Reads that never pass the end: a read past it gives zero or nothing and makes the reader
// fail, and it then stays failed, so a run of reads is checked once at its end.
class ByteReader {
public:
    explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }
    std::size_t position() const { return position_; }

    std::uint8_t byte() {
        if (!need(1)) return 0;
        return static_cast<std::uint8_t>(bytes_[position_++]);
    }
    std::uint16_t big16() {
        const std::uint16_t high = byte();
        return static_cast<std::uint16_t>(high << 8 | byte());
    }
    std::uint16_t little16() {
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | byte() << 8);
    }
    // The next `count` bytes as they stand.
    std::string_view take(std::size_t count) {
        if (!need(count)) return {};
        const std::string_view part = bytes_.substr(position_, count);
        position_ += count;
        return part;
    }
    void skip(std::size_t count) { take(count); }

private:
    bool need(std::size_t count) {
        if (ok_ && bytes_.size() - position_ >= count) return true;
        ok_ = false;
        return false;
    }

    std::string_view bytes_;
    std::size_t position_ = 0;
    bool ok_ = true;
};

inline void putBig16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value & 0xff));
}

inline void putLittle16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xff));
    out.push_back(static_cast<char>(value >> 8));
}

} // namespace wire
