// Feeds any bytes to the mailslot datagram reader, as a hostile peer on the datagram port
// could, and checks that whatever it accepts builds back into a datagram it reads the same.
#include "notice/MailslotDatagram.h"
#include "notice/MessageLines.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto datagram = notice::parseMailslotDatagram(bytes);
    if (!datagram) return 0;
    (void)notice::splitMessageLines(datagram->message);
    // Names were read as 15 characters; a rebuilt datagram must read back identically
    // whenever it fits.
    if (const auto rebuilt = notice::buildMailslotDatagram(*datagram)) {
        const auto again = notice::parseMailslotDatagram(*rebuilt);
        if (!again || again->message != datagram->message ||
            again->mailslot != datagram->mailslot ||
            again->source.suffix != datagram->source.suffix)
            std::abort();
    }
    return 0;
}
