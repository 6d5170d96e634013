#include "net/WinsockErrorText.h"

#include "platform/sockets/Winsock.h"

namespace net {

const char* WinsockErrorText(int error) {
    switch (error) {
    case 0:
        return "No Error";
#define FALAVOX_WINSOCK_TEXT(name, number, errnoValue, text)                                       \
    case platform::name:                                                                           \
        return text;
        FALAVOX_WINSOCK_ERRORS(FALAVOX_WINSOCK_TEXT)
#undef FALAVOX_WINSOCK_TEXT
    default:
        return "Not a WinSock error";
    }
}

} // namespace net
