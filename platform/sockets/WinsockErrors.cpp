#include "platform/sockets/WinsockErrors.h"

#include <cerrno>
#include <netdb.h>

namespace platform {
namespace {

struct ErrnoMeaning {
    int errnoValue;
    WinsockError error;
};

constexpr ErrnoMeaning byErrno[] = {
#define FALAVOX_WINSOCK_BY_ERRNO(name, number, errnoValue, text) {errnoValue, name},
    FALAVOX_WINSOCK_ERRORS(FALAVOX_WINSOCK_BY_ERRNO)
#undef FALAVOX_WINSOCK_BY_ERRNO
};

} // namespace

// Linux numbers its errors differently from the BSD values the library's numbering is
// built on, so each is translated by its meaning.
int winsockErrorFromErrno(int error) {
    switch (error) {
    case 0:
        return 0;
    // Meanings the library reports under a number of its own that Linux splits or names
    // otherwise.
    case EBADF:
        return WSAENOTSOCK;
    case EPERM:
        return WSAEACCES;
    case ENFILE:
        return WSAEMFILE;
    // A non-blocking connect that is under way reads as "would block", as the library
    // reports it.
    case EINPROGRESS:
        return WSAEWOULDBLOCK;
    // Sending to a peer that has gone is a reset connection to the library's callers.
    case EPIPE:
        return WSAECONNRESET;
    case ENOMEM:
        return WSAENOBUFS;
    default:
        break;
    }
    for (const auto& [errnoValue, winsockError] : byErrno)
        if (errnoValue != 0 && errnoValue == error) return winsockError;
    return error;
}

int winsockErrorFromLookup(int code) {
    switch (code) {
    case 0:
        return 0;
    case EAI_NONAME:
        return WSAHOST_NOT_FOUND;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return WSANO_DATA;
#endif
    case EAI_ADDRFAMILY:
        return WSANO_DATA;
    case EAI_AGAIN:
        return WSATRY_AGAIN;
    case EAI_MEMORY:
        return WSAENOBUFS;
    case EAI_SYSTEM:
        return winsockErrorFromErrno(errno);
    default:
        return WSANO_RECOVERY;
    }
}

} // namespace platform
