#include "notice/MailslotDatagram.h"

#include "text/AsciiText.h"
#include "wire/Bytes.h"

#include <array>
#include <cstring>

namespace notice {
namespace {

using wire::ByteReader;
using wire::encodeNetbiosName;
using wire::putBig16;
using wire::putLittle16;
using wire::readNetbiosName;

constexpr std::size_t datagramHeaderSize = 14;
constexpr std::size_t encodedNameSize = 34;
constexpr std::size_t smbHeaderSize = 32;
constexpr std::uint8_t smbComTransaction = 0x25;
constexpr std::uint8_t transactionWordCount = 17;
// The words of the transaction and its byte count, between the SMB header and the name.
constexpr std::size_t transactionFixedSize = 1 + 2 * transactionWordCount + 2;
constexpr std::array<std::uint16_t, 3> mailslotWriteSetup = {1, 0, 2};
constexpr std::uint8_t firstFragmentFlag = 0x02;
constexpr std::uint8_t moreFragmentsFlag = 0x01;

void putZeros(std::string& out, std::size_t count) {
    out.append(count, '\0');
}

} // namespace

std::size_t maxMailslotMessage(std::string_view mailslot) {
    const std::size_t overhead = smbHeaderSize + transactionFixedSize + mailslot.size() + 1;
    return overhead >= maxDatagramUserData ? 0 : maxDatagramUserData - overhead;
}

std::optional<std::string> buildMailslotDatagram(const MailslotDatagram& d) {
    if (d.message.size() > maxMailslotMessage(d.mailslot)) return std::nullopt;
    const auto dataOffset =
        static_cast<std::uint16_t>(smbHeaderSize + transactionFixedSize + d.mailslot.size() + 1);
    const auto dataCount = static_cast<std::uint16_t>(d.message.size());

    std::string smb = "\xffSMB";
    smb.push_back(static_cast<char>(smbComTransaction));
    putZeros(smb, smbHeaderSize - smb.size()); // status, flags, ids: none for a mailslot write
    smb.push_back(static_cast<char>(transactionWordCount));
    putLittle16(smb, 0);         // total parameter count
    putLittle16(smb, dataCount); // total data count
    putLittle16(smb, 0);         // max parameter count
    putLittle16(smb, 0);         // max data count
    smb.push_back('\0');         // max setup count
    smb.push_back('\0');
    putLittle16(smb, 0); // flags
    putZeros(smb, 4);    // time-out
    putLittle16(smb, 0);
    putLittle16(smb, 0);          // parameter count
    putLittle16(smb, dataOffset); // parameter offset: none, so where the data starts
    putLittle16(smb, dataCount);
    putLittle16(smb, dataOffset);
    smb.push_back(static_cast<char>(mailslotWriteSetup.size()));
    smb.push_back('\0');
    for (std::uint16_t word : mailslotWriteSetup)
        putLittle16(smb, word);
    putLittle16(smb, static_cast<std::uint16_t>(d.mailslot.size() + 1 + d.message.size()));
    smb += d.mailslot;
    smb.push_back('\0');
    smb += d.message;

    std::string out;
    out.push_back(static_cast<char>(d.type));
    out.push_back(static_cast<char>(firstFragmentFlag));
    putBig16(out, d.id);
    char address[4];
    std::memcpy(address, &d.sourceAddress, 4); // already in network byte order
    out.append(address, 4);
    putBig16(out, netbiosDatagramPort);
    putBig16(out, static_cast<std::uint16_t>(2 * encodedNameSize + smb.size()));
    putBig16(out, 0); // packet offset of the first and only fragment
    out += encodeNetbiosName(d.source);
    out += encodeNetbiosName(d.destination);
    out += smb;
    return out;
}

std::optional<MailslotDatagram> parseMailslotDatagram(std::string_view bytes) {
    ByteReader in(bytes);
    MailslotDatagram d;
    d.type = in.byte();
    if (d.type != directUniqueDatagram && d.type != directGroupDatagram &&
        d.type != broadcastDatagram)
        return std::nullopt;
    const std::uint8_t flags = in.byte();
    d.id = in.big16();
    std::string_view address = in.take(4);
    in.skip(2); // source port
    const std::uint16_t length = in.big16();
    const std::uint16_t packetOffset = in.big16();
    if (!in.ok() || (flags & firstFragmentFlag) == 0 || (flags & moreFragmentsFlag) != 0 ||
        packetOffset != 0 || length > bytes.size() - datagramHeaderSize)
        return std::nullopt;
    std::memcpy(&d.sourceAddress, address.data(), 4);
    // Bytes beyond the declared length are not part of the datagram.
    ByteReader names(bytes.substr(0, datagramHeaderSize + length));
    names.skip(datagramHeaderSize);
    auto source = readNetbiosName(names);
    auto destination = source ? readNetbiosName(names) : std::nullopt;
    if (!destination) return std::nullopt;
    d.source = *source;
    d.destination = *destination;

    const std::size_t smbStart = names.position();
    const std::string_view smb = bytes.substr(smbStart, datagramHeaderSize + length - smbStart);
    ByteReader s(smb);
    if (s.take(4) != std::string_view("\xffSMB", 4) || s.byte() != smbComTransaction)
        return std::nullopt;
    s.skip(smbHeaderSize - 5);
    if (s.byte() != transactionWordCount) return std::nullopt;
    s.skip(2 * 9); // counts, flags, time-out and reserved words before the parameter count
    s.skip(4);     // parameter count and offset: a mailslot write has no parameters
    const std::uint16_t dataCount = s.little16();
    const std::uint16_t dataOffset = s.little16();
    const std::uint8_t setupCount = s.byte();
    s.skip(1);
    if (!s.ok() || setupCount != mailslotWriteSetup.size() || s.little16() != mailslotWriteSetup[0])
        return std::nullopt;
    s.skip(4); // priority and class
    const std::uint16_t byteCount = s.little16();
    if (!s.ok() || byteCount > smb.size() - s.position()) return std::nullopt;
    const std::string_view byteArea = smb.substr(s.position(), byteCount);
    const std::size_t nameEnd = byteArea.find('\0');
    if (nameEnd == std::string_view::npos) return std::nullopt;
    d.mailslot = std::string(byteArea.substr(0, nameEnd));
    if (dataOffset > smb.size() || dataCount > smb.size() - dataOffset) return std::nullopt;
    d.message = std::string(smb.substr(dataOffset, dataCount));
    return d;
}

bool sameMailslotName(std::string_view a, std::string_view b) {
    return text::sameTextAscii(a, b);
}

} // namespace notice
