#include "platform/neighbourhood/NetbiosNameQuery.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace netbios = platform::netbios;

namespace {

// "FRED" with the blank suffix is the name service's own worked example; with the
// workstation suffix <00> only the last two letters differ.
const std::string kFred = std::string("\x20") + "EGFCEFEECACACACACACACACACACACAAA" + '\0';
const std::string kOther = std::string("\x20") + "EGFCEFEECACACACACACACACACACACAAB" + '\0';
constexpr std::uint16_t kId = 0x1234;

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

std::string header(int id, int flags, int questions, int answers) {
    return bytes(
        {id >> 8, id & 0xFF, flags >> 8, flags & 0xFF, 0, questions, 0, answers, 0, 0, 0, 0});
}

// An NB answer: type, class, time to live, then the data's length and the data.
std::string answerTail(int length, const std::string& data, int type = 0x20) {
    return bytes({0, type, 0, 1, 0, 0x04, 0x93, 0xE0, length >> 8, length & 0xFF}) + data;
}

const std::string kAddress = bytes({0x00, 0x00, 10, 245, 2, 2});
const std::string kPositive = header(kId, 0x8500, 0, 1) + kFred + answerTail(6, kAddress);

std::vector<std::string> read(const std::string& packet, std::uint16_t id = kId) {
    std::vector<std::string> dotted;
    for (const std::uint32_t address : netbios::readNameQueryResponse(
             reinterpret_cast<const std::uint8_t*>(packet.data()), packet.size(), id, kFred)) {
        in_addr in{};
        in.s_addr = address;
        dotted.emplace_back(inet_ntoa(in));
    }
    return dotted;
}

TEST(NetbiosName, asksOnlyForNamesThatFit) {
    EXPECT_EQ(netbios::encodeName("fred"), kFred);
    EXPECT_EQ(netbios::encodeName("FRED", 0x01), kOther);
    EXPECT_EQ(netbios::encodeName("ABCDEFGHIJKLMNO")->size(), 34u);
    EXPECT_EQ(netbios::encodeName(""), std::nullopt);
    EXPECT_EQ(netbios::encodeName("ABCDEFGHIJKLMNOP"), std::nullopt);
}

TEST(NetbiosName, queryIsBroadcastNbQuestion) {
    EXPECT_EQ(netbios::nameQuery(kId, kFred),
              bytes({0x12, 0x34, 0x01, 0x10, 0, 1, 0, 0, 0, 0, 0, 0}) + kFred +
                  bytes({0, 0x20, 0, 1}));
}

TEST(NetbiosName, readsPositiveAnswers) {
    const struct {
        const char* what;
        std::string packet;
        std::vector<std::string> expected;
    } cases[] = {
        {"one address", kPositive, {"10.245.2.2"}},
        {"several, each once",
         header(kId, 0x8500, 0, 1) + kFred +
             answerTail(18, kAddress + bytes({0x60, 0, 10, 0, 0, 7}) + kAddress),
         {"10.245.2.2", "10.0.0.7"}},
        {"question echoed, answer pointing to it",
         header(kId, 0x8500, 1, 1) + kFred + bytes({0, 0x20, 0, 1}) + bytes({0xC0, 12}) +
             answerTail(6, kAddress),
         {"10.245.2.2"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.packet), c.expected) << c.what;
}

TEST(NetbiosName, hostileOrForeignPacketsGiveNothing) {
    const std::string valid = kPositive;
    const struct {
        const char* what;
        std::string packet;
        std::uint16_t id;
    } cases[] = {
        {"another transaction", valid, 0x4321},
        {"a request", header(kId, 0x0110, 0, 1) + kFred + answerTail(6, kAddress), kId},
        {"a negative answer", header(kId, 0x8503, 0, 1) + kFred + answerTail(6, kAddress), kId},
        {"another opcode", header(kId, 0xA800, 0, 1) + kFred + answerTail(6, kAddress), kId},
        {"no answer counted", header(kId, 0x8500, 0, 0) + kFred + answerTail(6, kAddress), kId},
        {"another name", header(kId, 0x8500, 0, 1) + kOther + answerTail(6, kAddress), kId},
        {"status record", header(kId, 0x8500, 0, 1) + kFred + answerTail(6, kAddress, 0x21), kId},
        {"length not whole entries", header(kId, 0x8500, 0, 1) + kFred + answerTail(5, kAddress),
         kId},
        {"length past the end", header(kId, 0x8500, 0, 1) + kFred + answerTail(12, kAddress), kId},
        {"largest length, no data", header(kId, 0x8500, 0, 1) + kFred + answerTail(0xFFFC, ""),
         kId},
        {"pointer without a question",
         header(kId, 0x8500, 0, 1) + bytes({0xC0, 12}) + answerTail(6, kAddress), kId},
        {"pointer elsewhere",
         header(kId, 0x8500, 1, 1) + kFred + bytes({0, 0x20, 0, 1}) + bytes({0xC0, 13}) +
             answerTail(6, kAddress),
         kId},
        {"pointer as the question", header(kId, 0x8500, 1, 1) + bytes({0xC0, 12}), kId},
        {"questions counted, none sent", header(kId, 0x8500, 0xFF, 1), kId},
        {"empty", "", kId},
        {"zero address only",
         header(kId, 0x8500, 0, 1) + kFred + answerTail(6, bytes({0, 0, 0, 0, 0, 0})), kId},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.packet, c.id), std::vector<std::string>{}) << c.what;
    for (std::size_t size = 0; size < valid.size(); ++size)
        EXPECT_EQ(read(valid.substr(0, size)), std::vector<std::string>{}) << "cut at " << size;
    EXPECT_TRUE(netbios::readNameQueryResponse(nullptr, 50, kId, kFred).empty());
}

} // namespace
