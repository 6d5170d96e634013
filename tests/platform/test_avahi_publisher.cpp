#include "platform/neighbourhood/AvahiPublisher.h"

#include <gtest/gtest.h>

namespace {

// A service name past the limit is refused by the daemon, and the computer would never
// be announced: long host names are cut, and never inside a character.
TEST(AvahiPublisher, serviceNameFitsTheLimitOnWholeCharacters) {
    EXPECT_EQ(platform::falavoxServiceName("box"), "Falavox box");
    const std::string fits(55, 'a');
    EXPECT_EQ(platform::falavoxServiceName(fits), "Falavox " + fits);
    // "é" (two bytes) would straddle byte 63: it is left out whole.
    const std::string straddling = std::string(54, 'a') + "\xC3\xA9" + "bcd";
    EXPECT_EQ(platform::falavoxServiceName(straddling), "Falavox " + std::string(54, 'a'));
}

} // namespace
