// Any bytes as an answer to the program's direct multicast DNS query, as any computer on
// the link could send one.
#include "platform/neighbourhood/MdnsServiceAnswer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::string> types = {"_falavox._tcp", "_workstation._tcp"};
    // The id the packet itself carries, so that the fuzzer reaches past the first check.
    const std::uint16_t id = size >= 2 ? static_cast<std::uint16_t>(data[0] << 8 | data[1]) : 0;
    platform::mdns::readServiceHosts(data, size, id, types);
    return 0;
}
