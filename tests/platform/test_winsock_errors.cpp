#include "platform/sockets/WinsockErrors.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>

TEST(SystemErrors, translateByMeaningNotByNumber) {
    using namespace platform;
    EXPECT_EQ(winsockErrorFromErrno(EADDRINUSE), 10048); // 98 on Linux
    EXPECT_EQ(winsockErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(winsockErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(winsockErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(winsockErrorFromErrno(EPIPE), 10054);
    EXPECT_EQ(winsockErrorFromErrno(EAGAIN), 10035);
    EXPECT_EQ(winsockErrorFromErrno(EINPROGRESS), 10035);
    EXPECT_EQ(winsockErrorFromErrno(ENOTCONN), 10057);
    EXPECT_EQ(winsockErrorFromErrno(EBADF), 10038);
    EXPECT_EQ(winsockErrorFromErrno(EINVAL), 10022);
    EXPECT_EQ(winsockErrorFromErrno(EINTR), 10004);
    EXPECT_EQ(winsockErrorFromLookup(EAI_NONAME), 11001);
    EXPECT_EQ(winsockErrorFromLookup(EAI_AGAIN), 11002);
    EXPECT_EQ(winsockErrorFromLookup(EAI_FAIL), 11003);
}
