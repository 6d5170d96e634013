#include "net/WinsockErrorText.h"

#include "platform/Winsock.h"

namespace net {

const char* WinsockErrorText(int error) {
    switch (error) {
    case 0:
        return "No Error";
    case platform::WSAEINTR:
        return "Interrupted system call";
    case platform::WSAEBADF:
        return "Bad file number";
    case platform::WSAEACCES:
        return "Permission denied";
    case platform::WSAEFAULT:
        return "Bad address";
    case platform::WSAEINVAL:
        return "Invalid argument";
    case platform::WSAEMFILE:
        return "Too many open files";
    case platform::WSAEWOULDBLOCK:
        return "Operation would block";
    case platform::WSAEINPROGRESS:
        return "Operation now in progress";
    case platform::WSAEALREADY:
        return "Operation already in progress";
    case platform::WSAENOTSOCK:
        return "Socket operation on non-socket";
    case platform::WSAEDESTADDRREQ:
        return "Destination address required";
    case platform::WSAEMSGSIZE:
        return "Message too long";
    case platform::WSAEPROTOTYPE:
        return "Protocol wrong type for socket";
    case platform::WSAENOPROTOOPT:
        return "Protocol not available";
    case platform::WSAEPROTONOSUPPORT:
        return "Protocol not supported";
    case platform::WSAESOCKTNOSUPPORT:
        return "Socket type not supported";
    case platform::WSAEOPNOTSUPP:
        return "Operation not supported on socket";
    case platform::WSAEPFNOSUPPORT:
        return "Protocol family not supported";
    case platform::WSAEAFNOSUPPORT:
        return "Address family not supported by protocol family";
    case platform::WSAEADDRINUSE:
        return "Address already in use";
    case platform::WSAEADDRNOTAVAIL:
        return "Address not available";
    case platform::WSAENETDOWN:
        return "Network is down";
    case platform::WSAENETUNREACH:
        return "Network is unreachable";
    case platform::WSAENETRESET:
        return "Network dropped connection on reset";
    case platform::WSAECONNABORTED:
        return "Connection aborted";
    case platform::WSAECONNRESET:
        return "Connection reset by peer";
    case platform::WSAENOBUFS:
        return "No buffer space available";
    case platform::WSAEISCONN:
        return "Socket is already connected";
    case platform::WSAENOTCONN:
        return "Socket is not connected";
    case platform::WSAESHUTDOWN:
        return "Can't send after socket shutdown";
    case platform::WSAETOOMANYREFS:
        return "Too many references: can't splice";
    case platform::WSAETIMEDOUT:
        return "Connection timed out";
    case platform::WSAECONNREFUSED:
        return "Connection refused";
    case platform::WSAELOOP:
        return "Too many levels of symbolic links";
    case platform::WSAENAMETOOLONG:
        return "File name too long";
    case platform::WSAEHOSTDOWN:
        return "Host is down";
    case platform::WSAEHOSTUNREACH:
        return "No route to host";
    case platform::WSAENOTEMPTY:
        return "Directory not empty";
    case platform::WSAEPROCLIM:
        return "Too many processes";
    case platform::WSAEUSERS:
        return "Too many users";
    case platform::WSAEDQUOT:
        return "Disc quota exceeded";
    case platform::WSAESTALE:
        return "Stale NFS file handle";
    case platform::WSAEREMOTE:
        return "Too many levels of remote in path";
    case platform::WSASYSNOTREADY:
        return "Network sub-system is unusable";
    case platform::WSAVERNOTSUPPORTED:
        return "WinSock DLL cannot support this application";
    case platform::WSANOTINITIALISED:
        return "WinSock not initialized";
    case platform::WSAHOST_NOT_FOUND:
        return "Host not found";
    case platform::WSATRY_AGAIN:
        return "Non-authoritative host not found";
    case platform::WSANO_RECOVERY:
        return "Non-recoverable error";
    case platform::WSANO_DATA:
        return "No Data";
    default:
        return "Not a WinSock error";
    }
}

} // namespace net
