#include "platform/neighbourhood/HostRoster.h"
#include "platform/neighbourhood/MdnsServiceAnswer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
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

std::vector<mdns::ServiceHost> readHosts(const std::string& packet, std::uint16_t id = kId) {
    return mdns::readServiceHosts(reinterpret_cast<const std::uint8_t*>(packet.data()),
                                  packet.size(), id, kTypes);
}

std::vector<std::string> read(const std::string& packet, std::uint16_t id = kId) {
    std::vector<std::string> names;
    for (const mdns::ServiceHost& host : readHosts(packet, id))
        names.push_back(host.name);
    return names;
}

std::uint32_t ipv4(int a, int b, int c, int d) {
    const std::string octets = bytes({a, b, c, d});
    std::uint32_t address = 0;
    std::memcpy(&address, octets.data(), 4);
    return address;
}

std::string aRecord(const std::string& owner, int a, int b, int c, int d) {
    return record(owner, 1, bytes({a, b, c, d}));
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

TEST(MdnsAnswer, addressRecordsGoToTheHostTheyName) {
    const std::string owner = name({"x", "_falavox", "_tcp", "local"});
    const struct {
        const char* what;
        std::string packet;
        std::vector<mdns::ServiceHost> hosts;
    } cases[] = {
        {"a responder's answer, the address after the service",
         kAnswer,
         {{"fnbhostb.local", {ipv4(10, 245, 1, 2)}}}},
        {"before the service, in another letter case, once each, other hosts' aside",
         header(kId, 0x8400, 0, 0, 5) + aRecord(name({"H", "LOCAL"}), 10, 0, 0, 9) +
             aRecord(name({"h", "local"}), 10, 0, 0, 9) +
             aRecord(name({"other", "local"}), 10, 0, 0, 7) + srv(owner, name({"h", "local"})) +
             aRecord(name({"h", "local"}), 10, 0, 0, 8),
         {{"h.local", {ipv4(10, 0, 0, 9), ipv4(10, 0, 0, 8)}}}},
        {"no more than a few addresses per host",
         header(kId, 0x8400, 0, 0, 7) + srv(owner, name({"h", "local"})) +
             aRecord(name({"h", "local"}), 10, 0, 0, 1) +
             aRecord(name({"h", "local"}), 10, 0, 0, 2) +
             aRecord(name({"h", "local"}), 10, 0, 0, 3) +
             aRecord(name({"h", "local"}), 10, 0, 0, 4) +
             aRecord(name({"h", "local"}), 10, 0, 0, 5) +
             record(name({"h", "local"}), 1, bytes({10, 0, 0})),
         {{"h.local",
           {ipv4(10, 0, 0, 1), ipv4(10, 0, 0, 2), ipv4(10, 0, 0, 3), ipv4(10, 0, 0, 4)}}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(readHosts(c.packet), c.hosts) << c.what;
}

// Hosts that answer for themselves come first, one per sender; what a sender says of
// other hosts is kept only a little of, and nothing past the totals.
TEST(HostRoster, capsWhatEachSenderAndAllSendersAdd) {
    using platform::HostRoster;
    const std::uint32_t a = ipv4(10, 0, 0, 1), b = ipv4(10, 0, 0, 2);
    const auto own = [](const std::string& host, std::uint32_t at) {
        return mdns::ServiceHost{host, {at}};
    };
    const auto other = [](const std::string& host) {
        return mdns::ServiceHost{host, {ipv4(192, 0, 2, 1)}};
    };
    std::vector<mdns::ServiceHost> many;
    for (int i = 0; i < 10; ++i)
        many.push_back(other("fake" + std::to_string(i)));
    struct Answer {
        std::uint32_t from;
        std::vector<mdns::ServiceHost> hosts;
    };
    const struct {
        const char* what;
        std::vector<Answer> answers;
        std::vector<std::string> own, others;
    } cases[] = {
        {"each sender's own host, then the others' first of each sender before any second",
         {{a, {own("a", a), other("p1"), other("p2")}}, {b, {other("q1"), own("b", b)}}},
         {"a", "b"},
         {"p1", "q1", "p2"}},
        {"one own host per sender, a few others, each once",
         {{a, many}, {a, {own("a", a), own("a2", a), other("fake0"), other("FAKE1")}}},
         {"a"},
         {"fake0", "fake1", "fake2", "fake3"}},
        {"a host with no address is another's", {{a, {{"x", {}}}}}, {}, {"x"}},
    };
    for (const auto& c : cases) {
        HostRoster roster;
        for (const Answer& answer : c.answers)
            roster.add(answer.from, answer.hosts);
        EXPECT_EQ(roster.ownHosts(), c.own) << c.what;
        EXPECT_EQ(roster.othersHosts(), c.others) << c.what;
    }

    // Thousands of senders (one machine's alias or forged addresses) fill the totals,
    // and nothing more is kept, whoever sends it later.
    HostRoster roster;
    for (std::uint32_t sender = 1; sender <= 5000; ++sender)
        roster.add(sender, {own("self" + std::to_string(sender), sender), other("o"),
                            other("o" + std::to_string(sender))});
    roster.add(a, {own("late", a), other("late-other")});
    EXPECT_EQ(roster.ownHosts().size(), HostRoster::maxOwn);
    EXPECT_EQ(roster.othersHosts().size(), HostRoster::maxOthers);
    EXPECT_EQ(roster.ownHosts().front(), "self1");
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
