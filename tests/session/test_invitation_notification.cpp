#include "session/InvitationNotification.h"
#include "session/NotificationIcon.h"
#include "tests/session/FakeNotificationService.h"
#include "tests/support/Files.h"
#include "tests/support/QtMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using session::InvitationNotification;

namespace {

class InvitationNotificationTest : public ::testing::Test {
protected:
    std::unique_ptr<InvitationNotification> make() {
        InvitationNotification::Answers answers;
        answers.accept = [this](const QString& token) {
            calls.push_back("accept " + token.toStdString());
        };
        answers.ignore = [this] { calls.push_back("ignore"); };
        answers.bringForward = [this](const QString& token) {
            calls.push_back("forward " + token.toStdString());
        };
        return std::make_unique<InvitationNotification>(service, std::move(answers));
    }

    FakeNotificationService service;
    std::vector<std::string> calls;
};

TEST_F(InvitationNotificationTest, postsTheDialogsWordsAsACriticalNotification) {
    auto notification = make();
    notification->post(QStringLiteral("Convite ao chat do usuário: Ana"),
                       QStringLiteral("<b>Vamos</b> conversar?"));
    ASSERT_EQ(service.posts.size(), 1u);
    const session::NotificationRequest& r = service.posts[0].request;
    EXPECT_EQ(r.summary, QStringLiteral("Convite ao chat do usuário: Ana"));
    EXPECT_EQ(r.body, QStringLiteral("<b>Vamos</b> conversar?"));
    EXPECT_TRUE(r.critical);
    EXPECT_EQ(r.actions, (QStringList{"default", "Convite ao Chat...", "aceitar", "Aceitar",
                                      "ignorar", "Ignorar"}));
    EXPECT_GT(r.expireMs, 0);
}

// Each action answers once, with the desktop's token where it sent one, also after the
// desktop closed the notification on the click; actions on another program's
// notification, or after withdrawal, answer nothing.
TEST_F(InvitationNotificationTest, actionsAnswerOnlyForTheirOwnNotification) {
    auto notification = make();
    notification->post(QStringLiteral("c"), QString());
    const quint32 id = service.posts[0].id;
    emit service.actionInvoked(id + 1, QStringLiteral("aceitar"));
    emit service.closed(id);
    emit service.activationToken(id, QStringLiteral("tok1"));
    emit service.actionInvoked(id, QStringLiteral("default"));
    emit service.actionInvoked(id, QStringLiteral("ignorar"));
    emit service.activationToken(id, QStringLiteral("tok2"));
    emit service.actionInvoked(id, QStringLiteral("aceitar"));
    emit service.actionInvoked(id, QStringLiteral("aceitar"));
    EXPECT_EQ(calls,
              (std::vector<std::string>{"forward tok1", "ignore", "accept tok2", "accept "}));
    calls.clear();
    notification->withdraw();
    emit service.actionInvoked(id, QStringLiteral("aceitar"));
    EXPECT_TRUE(calls.empty());
}

// Withdrawn however the dialog closed, exactly once, also when the desktop names the
// notification only after the dialog is gone; a desktop that never answered gets no
// close, and one that dismissed it itself is not asked again.
TEST_F(InvitationNotificationTest, withdrawnOnceWhateverTheOrder) {
    auto first = make();
    first->post(QStringLiteral("a"), QString());
    first->withdraw();
    first.reset();
    EXPECT_EQ(service.closes, std::vector<quint32>{service.posts[0].id});

    service.answerAtOnce = false;
    auto late = make();
    late->post(QStringLiteral("b"), QString());
    late.reset();
    EXPECT_EQ(service.closes.size(), 1u);
    service.answer(1);
    EXPECT_EQ(service.closes, (std::vector<quint32>{service.posts[0].id, service.posts[1].id}));

    auto never = make();
    never->post(QStringLiteral("c"), QString());
    never.reset();
    EXPECT_EQ(service.closes.size(), 2u);

    service.answerAtOnce = true;
    auto dismissed = make();
    dismissed->post(QStringLiteral("d"), QString());
    emit service.closed(service.posts[3].id);
    dismissed.reset();
    EXPECT_EQ(service.closes.size(), 2u);
}

// The notification names the icon the desktop can find: the theme's where the package
// installed it, the file in ../share beside a program run from its build tree.
TEST(NotificationIconTest, namesTheIconWhereTheDesktopFindsIt) {
    const QString root = testsupport::freshTestFolder();
    const QString build = root + "/build", installed = root + "/usr/share";
    const QString iconFile = "/icons/hicolor/48x48/apps/falavox.png";
    for (const QString& share : {build + "/share", installed}) {
        QDir().mkpath(QFileInfo(share + iconFile).path());
        QFile file(share + iconFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QDir().mkpath(build + "/app");
    EXPECT_EQ(session::notificationIcon("/usr/bin", {root + "/home/.local/share", installed}),
              "falavox");
    EXPECT_EQ(session::notificationIcon(build + "/app", {root + "/home/.local/share"}),
              build + "/share" + iconFile);
    EXPECT_EQ(session::notificationIcon(root + "/elsewhere", {root + "/nothing"}), "falavox");
}

} // namespace

FALAVOX_TEST_MAIN(QCoreApplication)
