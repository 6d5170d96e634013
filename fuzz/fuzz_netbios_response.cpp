// Any bytes as an answer to the program's NetBIOS name query, as anyone on the network
// could send one.
#include "platform/neighbourhood/NetbiosNameQuery.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string name = *platform::netbios::encodeName("FNBSMB");
    // The id the packet itself carries, so that the fuzzer reaches past the first check.
    const std::uint16_t id = size >= 2 ? static_cast<std::uint16_t>(data[0] << 8 | data[1]) : 0;
    platform::netbios::readNameQueryResponse(data, size, id, name);
    return 0;
}
