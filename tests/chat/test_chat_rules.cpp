#include "chat/ChatRules.h"

#include <gtest/gtest.h>

using namespace chat;

TEST(ChatRules, menuStates) {
    EXPECT_EQ(menuStateOnShow(true, false).copy, false);
    EXPECT_EQ(menuStateOnShow(true, false).selectAll, true);
    EXPECT_EQ(menuStateOnShow(false, false).selectAll, false);
    EXPECT_EQ(menuStateOnShow(true, true).copy, true);
    EXPECT_EQ(menuStateOnTextChange(true).copy, true);
    EXPECT_EQ(menuStateOnTextChange(false).selectAll, false);
    EXPECT_FALSE(copyEnabledOnSelectionChange(false));
}

TEST(ChatRules, userList) {
    EXPECT_EQ(userListEntry("jo\xe3o"), QStringLiteral("JOãO"));
    const QStringList list{QStringLiteral("ANA"), QStringLiteral("ANA"), QStringLiteral("BOB")};
    EXPECT_EQ(peerEntryIndex(list, "ana"), 2);
    EXPECT_EQ(peerEntryIndex(QStringList{QStringLiteral("BOB"), QStringLiteral("ANA")}, "Ana"), 0);
    EXPECT_EQ(peerEntryIndex(QStringList{QStringLiteral("ANA"), QStringLiteral("ANA")}, "Ana"), -1);
    EXPECT_EQ(peerEntryIndex(QStringList{}, "Ana"), -1);
}
