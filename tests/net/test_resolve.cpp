// Resolution of the settings' texts, error texts and the translation of system errors.

#include "net/Resolve.h"
#include "net/SocketException.h"
#include "net/WinsockErrorText.h"
#include "platform/sockets/Winsock.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "tests/support/KnownHosts.h"
#include "tests/support/Raised.h"
#include <netdb.h>

using namespace net;

// Names are answered here, never by the machine's resolver.
static testsupport::KnownHosts knownHosts;

TEST(SocketResolveHost, dottedAddressesAreConvertedWithoutAsking) {
    EXPECT_EQ(SocketResolveHost("0.0.0.0"), 0u);
    EXPECT_EQ(SocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(SocketResolveHost("  10.1.2.3 "), inet_addr("10.1.2.3"));
    EXPECT_EQ(testsupport::raisedText([] { SocketResolveHost("300.1.1.1"); }),
              "SocketResolveHost: '300.1.1.1' Invalid IP address.");
    // The message quotes the text as given, before trimming.
    EXPECT_EQ(testsupport::raisedText([] { SocketResolveHost("1.2.3.x "); }),
              "SocketResolveHost: '1.2.3.x ' Invalid IP address.");
}

TEST(SocketResolveHost, emptyOrOverlongNamesAreRefused) {
    EXPECT_EQ(testsupport::raisedText([] { SocketResolveHost(""); }),
              "SocketResolveHost: '' Invalid Hostname.");
    const std::string longName(257, 'a');
    EXPECT_EQ(testsupport::raisedText([&] { SocketResolveHost(longName); }),
              "SocketResolveHost: '" + longName + "' Invalid Hostname.");
}

TEST(SocketResolveHost, namesAreLookedUp) {
    EXPECT_EQ(SocketResolveHost("localhost"), inet_addr("127.0.0.1"));
    EXPECT_EQ(testsupport::raisedText([] { SocketResolveHost("example.invalid."); }),
              "SocketResolveHost: Cannot convert host address 'example.invalid.'");
    // A name that is not plain ASCII is quoted readably.
    EXPECT_EQ(testsupport::raisedText([] { SocketResolveHost("m\xE1quina.invalid."); }),
              "SocketResolveHost: Cannot convert host address 'máquina.invalid.'");
}

TEST(SocketResolvePort, numbersAreReadAndNamesLookedUp) {
    EXPECT_EQ(SocketResolvePort("2200", "tcp"), 2200);
    EXPECT_EQ(SocketResolvePort("2200x", "tcp"), 2200);
    EXPECT_EQ(SocketResolvePort("0", "tcp"), 0);
    EXPECT_EQ(SocketResolvePort("67536", "tcp"), 2000); // the low 16 bits
    EXPECT_EQ(testsupport::raisedText([] { SocketResolvePort("", "tcp"); }),
              "SocketResolvePort: Invalid Port.");
    EXPECT_EQ(testsupport::raisedText([] { SocketResolvePort(std::string(32, '1'), "tcp"); }),
              "SocketResolvePort: Invalid Port.");
    EXPECT_EQ(testsupport::raisedText([] { SocketResolvePort("nosuchservice", "tcp"); }),
              "SocketResolvePort: Cannot convert port 'nosuchservice'");
    if (getservbyname("http", "tcp")) {
        EXPECT_EQ(SocketResolvePort(" http ", "tcp"), 80);
    }
}

TEST(SocketResolveProto, numbersAndNames) {
    EXPECT_EQ(SocketResolveProto("tcp"), 6);
    EXPECT_EQ(SocketResolveProto(" TCP "), 6);
    EXPECT_EQ(SocketResolveProto("17"), 17);
    EXPECT_EQ(SocketResolveProto(" 6 "), 6);
    EXPECT_EQ(testsupport::raisedText([] { SocketResolveProto(""); }),
              "SocketResolveProto: Invalid Protocol.");
    EXPECT_EQ(testsupport::raisedText([] { SocketResolveProto("nosuch"); }),
              "SocketResolveProto: Cannot convert protocol 'nosuch'");
}

TEST(WinsockErrorText, knownAndUnknownNumbers) {
    EXPECT_STREQ(WinsockErrorText(0), "No Error");
    EXPECT_STREQ(WinsockErrorText(10048), "Address already in use");
    EXPECT_STREQ(WinsockErrorText(10061), "Connection refused");
    EXPECT_STREQ(WinsockErrorText(10060), "Connection timed out");
    EXPECT_STREQ(WinsockErrorText(11001), "Host not found");
    EXPECT_STREQ(WinsockErrorText(12345), "Not a WinSock error");
    EXPECT_STREQ(WinsockErrorText(-1), "Not a WinSock error");
}
