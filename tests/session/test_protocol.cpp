#include "session/Protocol.h"

#include <gtest/gtest.h>

using namespace session;

TEST(LineBuilders, exactBytes) {
    EXPECT_EQ(invitationLine("Ana", "Oi"), "<%$#Ana>Oi\r\n");
    EXPECT_EQ(invitationLine("Ana", ""), "<%$#Ana>\r\n");
    EXPECT_EQ(acceptanceLine(), "Status> Green Ligth\r\n");
    EXPECT_EQ(refusalLine(),
              "Status> @!%Seu convite ao chat foi recusado! Tente mais tarde...\r\n");
    EXPECT_EQ(autoAnswerLine("Ana", "Fui"), "<Ana (auto-resposta)> @!%Fui\r\n");
    EXPECT_EQ(busyLine(), "Status> Ocupado! Tente mais tarde...\r\n");
    EXPECT_EQ(chatLine("Ana", "a>b @!%"), "<Ana>a>b @!%\r\n");
    EXPECT_EQ(chatLine("Ana", std::string("\xe9\0x", 3)), std::string("<Ana>\xe9\0x\r\n", 10));
}
