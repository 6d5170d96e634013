#pragma once

// Every error number of the sockets library in one list: its name, its number, the
// Linux errno value of the same meaning (0 where Linux has none, or where the meaning
// is reported under another number: see winsockErrorFromErrno) and its English text.
// The enum, the texts and the errno translation are all expanded from here, so that
// they cannot drift apart.
#define FALAVOX_WINSOCK_ERRORS(X)                                                                  \
    X(WSAEINTR, 10004, EINTR, "Interrupted system call")                                           \
    X(WSAEBADF, 10009, 0, "Bad file number")                                                       \
    X(WSAEACCES, 10013, EACCES, "Permission denied")                                               \
    X(WSAEFAULT, 10014, EFAULT, "Bad address")                                                     \
    X(WSAEINVAL, 10022, EINVAL, "Invalid argument")                                                \
    X(WSAEMFILE, 10024, EMFILE, "Too many open files")                                             \
    X(WSAEWOULDBLOCK, 10035, EAGAIN, "Operation would block")                                      \
    X(WSAEINPROGRESS, 10036, 0, "Operation now in progress")                                       \
    X(WSAEALREADY, 10037, EALREADY, "Operation already in progress")                               \
    X(WSAENOTSOCK, 10038, ENOTSOCK, "Socket operation on non-socket")                              \
    X(WSAEDESTADDRREQ, 10039, EDESTADDRREQ, "Destination address required")                        \
    X(WSAEMSGSIZE, 10040, EMSGSIZE, "Message too long")                                            \
    X(WSAEPROTOTYPE, 10041, EPROTOTYPE, "Protocol wrong type for socket")                          \
    X(WSAENOPROTOOPT, 10042, ENOPROTOOPT, "Protocol not available")                                \
    X(WSAEPROTONOSUPPORT, 10043, EPROTONOSUPPORT, "Protocol not supported")                        \
    X(WSAESOCKTNOSUPPORT, 10044, ESOCKTNOSUPPORT, "Socket type not supported")                     \
    X(WSAEOPNOTSUPP, 10045, EOPNOTSUPP, "Operation not supported on socket")                       \
    X(WSAEPFNOSUPPORT, 10046, EPFNOSUPPORT, "Protocol family not supported")                       \
    X(WSAEAFNOSUPPORT, 10047, EAFNOSUPPORT, "Address family not supported by protocol family")     \
    X(WSAEADDRINUSE, 10048, EADDRINUSE, "Address already in use")                                  \
    X(WSAEADDRNOTAVAIL, 10049, EADDRNOTAVAIL, "Address not available")                             \
    X(WSAENETDOWN, 10050, ENETDOWN, "Network is down")                                             \
    X(WSAENETUNREACH, 10051, ENETUNREACH, "Network is unreachable")                                \
    X(WSAENETRESET, 10052, ENETRESET, "Network dropped connection on reset")                       \
    X(WSAECONNABORTED, 10053, ECONNABORTED, "Connection aborted")                                  \
    X(WSAECONNRESET, 10054, ECONNRESET, "Connection reset by peer")                                \
    X(WSAENOBUFS, 10055, ENOBUFS, "No buffer space available")                                     \
    X(WSAEISCONN, 10056, EISCONN, "Socket is already connected")                                   \
    X(WSAENOTCONN, 10057, ENOTCONN, "Socket is not connected")                                     \
    X(WSAESHUTDOWN, 10058, ESHUTDOWN, "Can't send after socket shutdown")                          \
    X(WSAETOOMANYREFS, 10059, ETOOMANYREFS, "Too many references: can't splice")                   \
    X(WSAETIMEDOUT, 10060, ETIMEDOUT, "Connection timed out")                                      \
    X(WSAECONNREFUSED, 10061, ECONNREFUSED, "Connection refused")                                  \
    X(WSAELOOP, 10062, ELOOP, "Too many levels of symbolic links")                                 \
    X(WSAENAMETOOLONG, 10063, ENAMETOOLONG, "File name too long")                                  \
    X(WSAEHOSTDOWN, 10064, EHOSTDOWN, "Host is down")                                              \
    X(WSAEHOSTUNREACH, 10065, EHOSTUNREACH, "No route to host")                                    \
    X(WSAENOTEMPTY, 10066, ENOTEMPTY, "Directory not empty")                                       \
    X(WSAEPROCLIM, 10067, 0, "Too many processes")                                                 \
    X(WSAEUSERS, 10068, EUSERS, "Too many users")                                                  \
    X(WSAEDQUOT, 10069, EDQUOT, "Disc quota exceeded")                                             \
    X(WSAESTALE, 10070, ESTALE, "Stale NFS file handle")                                           \
    X(WSAEREMOTE, 10071, EREMOTE, "Too many levels of remote in path")                             \
    X(WSASYSNOTREADY, 10091, 0, "Network sub-system is unusable")                                  \
    X(WSAVERNOTSUPPORTED, 10092, 0, "WinSock DLL cannot support this application")                 \
    X(WSANOTINITIALISED, 10093, 0, "WinSock not initialized")                                      \
    X(WSAHOST_NOT_FOUND, 11001, 0, "Host not found")                                               \
    X(WSATRY_AGAIN, 11002, 0, "Non-authoritative host not found")                                  \
    X(WSANO_RECOVERY, 11003, 0, "Non-recoverable error")                                           \
    X(WSANO_DATA, 11004, 0, "No Data")
