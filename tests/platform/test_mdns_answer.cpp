#include "platform/neighbourhood/MdnsServiceAnswer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace mdns = platform::mdns;

namespace {

constexpr std::uint16_t kId = 0x2200;
const std::vector<std::string> kTypes = {"_falavox._tcp", "_ssh._tcp"};

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

std::string name(std::initializer_list<std::string> labels, const std::string& end = bytes({0})) {
    std::string out;
    for (const std::string& label : labels)
        out += static_cast<char>(label.size()) + label;
    return out + end;
}

std::string header(int id, int flags, int questions, int answers, int additionals = 0) {
    return bytes({id >> 8, id & 0xFF, flags >> 8, flags & 0xFF, 0, questions, 0, answers, 0, 0,
                  additionals >> 8, additionals & 0xFF});
}

// A record: owner, type, class (cache-flush bit set, as responders send), time to live,
// then the data's length and the data.
std::string record(const std::string& owner, int type, const std::string& data) {
    const int length = static_cast<int>(data.size());
    return owner + bytes({0, type, 0x80, 1, 0, 0, 0, 120, length >> 8, length & 0xFF}) + data;
}

std::string srv(const std::string& owner, const std::string& target) {
    return record(owner, 33, bytes({0, 0, 0, 0, 0x08, 0x98}) + target);
}

// What a responder sends for "Falavox fnbhostb": the question echoed, the PTR, then SRV,
// TXT and A, each name after the first a pointer into it.
const std::string kQuestion = name({"_falavox", "_tcp", "local"}); // at offset 12
const std::string kInstance = name({"Falavox fnbhostb"}, bytes({0xC0, 12}));
const std::string kHostB = name({"fnbhostb"}, bytes({0xC0, 12 + 1 + 8 + 1 + 4})); // "local"
const std::string kAnswer = [] {
    const std::string question = kQuestion + bytes({0, 12, 0, 1});
    const std::string ptr = record(bytes({0xC0, 12}), 12, kInstance);
    // The instance's name starts right after the PTR's fixed fields.
    const int instanceAt = 12 + static_cast<int>(question.size() + 2 + 10);
    const std::string srvRecord = srv(bytes({0xC0, instanceAt}), kHostB);
    const int hostAt = instanceAt + static_cast<int>(kInstance.size() + 2 + 10 + 6);
    return header(kId, 0x8400, 1, 4) + question + ptr + srvRecord +
           record(bytes({0xC0, instanceAt}), 16, bytes({0})) +
           record(bytes({0xC0, hostAt}), 1, bytes({10, 245, 1, 2}));
}();

std::vector<std::string> read(const std::string& packet, std::uint16_t id = kId) {
    return mdns::readServiceHosts(reinterpret_cast<const std::uint8_t*>(packet.data()),
                                  packet.size(), id, kTypes);
}

TEST(MdnsAnswer, queryAsksForEachTypeInLocal) {
    EXPECT_EQ(mdns::serviceQuery(0x1234, {"_falavox._tcp", "_bad..type", "_ssh._tcp"}),
              header(0x1234, 0, 2, 0) + kQuestion + bytes({0, 12, 0, 1}) +
                  name({"_ssh", "_tcp", "local"}) + bytes({0, 12, 0, 1}));
}

TEST(MdnsAnswer, readsTheHostsOfServiceRecords) {
    const std::string other = name({"Other"}, bytes({0xC0, 12}));
    const struct {
        const char* what;
        std::string packet;
        std::vector<std::string> hosts;
    } cases[] = {
        {"a responder's answer, names compressed", kAnswer, {"fnbhostb.local"}},
        {"cut short (TC) but whole so far",
         header(kId, 0x8600, 1, 1) + kQuestion + bytes({0, 12, 0, 1}) +
             srv(name({"x"}, bytes({0xC0, 12})), name({"boxa", "local"})),
         {"boxa.local"}},
        {"each host once, letter case and other types aside",
         header(kId, 0x8400, 0, 0, 5) +
             srv(name({"a", "_falavox", "_tcp", "local"}), name({"boxc", "local"})) +
             srv(name({"b", "_SSH", "_TCP", "LOCAL"}), name({"twice", "local"})) +
             srv(name({"c", "_falavox", "_tcp", "local"}), name({"twice", "local"})) +
             srv(name({"d", "_http", "_tcp", "local"}), name({"web", "local"})) +
             srv(name({"_falavox", "_tcp", "local"}), name({"noinstance", "local"})),
         {"boxc.local", "twice.local"}},
        {"service not offered", header(kId, 0x8400, 0, 1) + srv(other, bytes({0})), {}},
        {"labels in escaped text form",
         header(kId, 0x8400, 0, 1) + srv(name({"a", "_ssh", "_tcp", "local"}),
                                         name({"jo\xc3\xa3o a&b", "my.pc\\", "local"})),
         {"jo\\195\\163o\\032a\\038b.my\\.pc\\\\.local"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.packet), c.hosts) << c.what;
}

TEST(MdnsAnswer, hostileOrForeignPacketsGiveNothing) {
    const std::string owner = name({"x", "_falavox", "_tcp", "local"});
    const std::string host = name({"h", "local"});
    const std::string ok = header(kId, 0x8400, 0, 1) + srv(owner, host);
    ASSERT_EQ(read(ok), std::vector<std::string>{"h.local"});
    const std::string longLabel(63, 'a');
    const struct {
        const char* what;
        std::string packet;
        std::uint16_t id;
    } cases[] = {
        {"another id", ok, 0x1111},
        {"a query", header(kId, 0x0000, 0, 1) + srv(owner, host), kId},
        {"an error", header(kId, 0x8403, 0, 1) + srv(owner, host), kId},
        {"another opcode", header(kId, 0xA400, 0, 1) + srv(owner, host), kId},
        {"header cut", ok.substr(0, 11), kId},
        {"record cut", ok.substr(0, ok.size() - 1), kId},
        {"more records counted than sent", header(kId, 0x8400, 0, 2) + srv(owner, host), kId},
        {"target past its record",
         header(kId, 0x8400, 0, 1) + owner +
             bytes({0, 33, 0, 1, 0, 0, 0, 120, 0, 8, 0, 0, 0, 0, 0, 0}) + host,
         kId},
        {"record too short for a target",
         header(kId, 0x8400, 0, 1) + owner + bytes({0, 33, 0, 1, 0, 0, 0, 120, 0, 3, 0, 0, 0}),
         kId},
        {"pointer back into its own name",
         header(kId, 0x8400, 1, 0) + bytes({4, 'l', 'o', 'o', 'p', 0xC0, 12, 0, 12, 0, 1}), kId},
        {"pointer forward",
         header(kId, 0x8400, 0, 1) + srv(owner, bytes({0xC0, 0xFF})) + std::string(200, '\0'), kId},
        {"reserved label type", header(kId, 0x8400, 0, 1) + srv(owner, bytes({0x40, 0})), kId},
        {"name over 255 bytes",
         header(kId, 0x8400, 0, 1) +
             srv(owner, name({longLabel, longLabel, longLabel, longLabel, "local"})),
         kId},
        {"empty", "", kId},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(read(c.packet, c.id).empty()) << c.what;
}

} // namespace
