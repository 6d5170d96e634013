// The tray icon, its stand-in window and the tray menu's items, on the offscreen
// platform (which has no notification area).
#include "app/TrayIcon.h"
#include "app/TrayMenu.h"
#include "app/TrayStandInWindow.h"
#include "tests/support/QtMain.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <gtest/gtest.h>

using app::TrayIcon;

namespace {

QPushButton* standInButton(const TrayIcon& tray, const char* name) {
    return tray.standInWindow()->findChild<QPushButton*>(QString::fromLatin1(name));
}

QIcon someIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::green);
    return QIcon(pixmap);
}

const QString longHint = QString(70, QLatin1Char('x'));

} // namespace

TEST(TrayMenu, itemsNamesCaptionsAndTagsInOrder) {
    QMenu menu;
    const app::TrayMenuItems items = app::buildTrayMenu(menu);
    EXPECT_EQ(menu.objectName(), "menu1");
    struct Expected {
        const char* name;
        const char* caption;
        int tag;
    };
    const Expected expected[] = {{"mnuChat", "&Chat", 2},
                                 {"N4", "", 0},
                                 {"mnuRefresh", "&Refresh", 3},
                                 {"mnuOpcoes", "&Opções", 4},
                                 {"N5", "", 0},
                                 {"mnuSobre", "&Sobre", 6},
                                 {"N6", "", 0},
                                 {"mnuFechar", "&Fechar", 7}};
    const QList<QAction*> actions = menu.actions();
    ASSERT_EQ(actions.size(), 8);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(actions[i]->objectName(), QString::fromLatin1(expected[i].name));
        EXPECT_EQ(actions[i]->isSeparator(), expected[i].tag == 0);
        if (expected[i].tag != 0) {
            EXPECT_EQ(actions[i]->text(), QString::fromUtf8(expected[i].caption));
        }
        EXPECT_EQ(app::menuTag(actions[i]), expected[i].tag);
    }
    EXPECT_EQ(items.mnuChat, actions[0]);
    EXPECT_EQ(items.mnuFechar, actions[7]);
    // With no names listed "&Chat" has nothing to open.
    EXPECT_EQ(items.mnuChat->menu(), nullptr);
    EXPECT_EQ(app::menuTag(nullptr), 0);
}

TEST(TrayIcon, standInWindowFollowsActivationHintAndMenu) {
    QMenu menu;
    const app::TrayMenuItems items = app::buildTrayMenu(menu);
    TrayIcon tray(TrayIcon::Backend::Window);
    tray.setHint(longHint);
    tray.setMenu(&menu);
    EXPECT_FALSE(tray.isActive());
    EXPECT_EQ(tray.standInWindow(), nullptr) << "nothing is shown before activation";

    tray.activate();
    ASSERT_NE(tray.standInWindow(), nullptr);
    EXPECT_TRUE(tray.standInWindow()->isVisible());
    EXPECT_TRUE(tray.usesStandInWindow());
    EXPECT_EQ(tray.systemTrayIcon(), nullptr);
    EXPECT_EQ(tray.hint(), longHint);
    auto* hint = tray.standInWindow()->findChild<QLabel*>("hintLabel");
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(hint->text(), longHint.left(63));

    QPushButton* fechar = standInButton(tray, "mnuFechar");
    ASSERT_NE(fechar, nullptr);
    EXPECT_EQ(fechar->text(), "&Fechar");
    EXPECT_EQ(tray.standInWindow()->findChildren<QPushButton*>().size(), 5);

    // A caption that changes shows at once; a command that is disabled cannot be pressed.
    items.mnuRefresh->setText("&Atualizar");
    items.mnuRefresh->setEnabled(false);
    EXPECT_EQ(standInButton(tray, "mnuRefresh")->text(), "&Atualizar");
    EXPECT_FALSE(standInButton(tray, "mnuRefresh")->isEnabled());

    tray.setHint("Localizando usuários...");
    tray.setMenu(nullptr);
    EXPECT_EQ(hint->text(), "Localizando usuários...");
    EXPECT_EQ(standInButton(tray, "mnuFechar"), nullptr) << "no commands while detached";

    tray.setMenu(&menu);
    ASSERT_NE(standInButton(tray, "mnuFechar"), nullptr);

    tray.deactivate();
    EXPECT_FALSE(tray.isActive());
    EXPECT_FALSE(tray.standInWindow()->isVisible());
    tray.activate();
    EXPECT_TRUE(tray.standInWindow()->isVisible()) << "it comes back after a deactivation";
}

TEST(TrayIcon, standInButtonOpensTheMenuFirstThenRunsTheCommand) {
    QMenu menu;
    const app::TrayMenuItems items = app::buildTrayMenu(menu);
    TrayIcon tray(TrayIcon::Backend::Window);
    tray.setMenu(&menu);
    tray.activate();

    QStringList order;
    QObject::connect(&menu, &QMenu::aboutToShow, [&] { order << "aboutToShow"; });
    QObject::connect(items.mnuSobre, &QAction::triggered, [&] { order << "mnuSobre"; });
    QTest::mouseClick(standInButton(tray, "mnuSobre"), Qt::LeftButton);
    EXPECT_EQ(order, QStringList({"aboutToShow", "mnuSobre"}));

    // A submenu made while the menu opens is the one that pops up; the item itself
    // is not run.
    QMenu* submenu = nullptr;
    QObject::connect(&menu, &QMenu::aboutToShow, [&] {
        if (!submenu) {
            submenu = new QMenu(&menu);
            submenu->addAction("Grupo");
            items.mnuChat->setMenu(submenu);
        }
    });
    int chatRuns = 0;
    QObject::connect(items.mnuChat, &QAction::triggered, [&] { ++chatRuns; });
    QTest::mouseClick(standInButton(tray, "mnuChat"), Qt::LeftButton);
    ASSERT_NE(submenu, nullptr);
    QTRY_VERIFY(submenu->isVisible());
    EXPECT_EQ(chatRuns, 0);
    submenu->hide();
}

TEST(TrayIcon, closingTheStandInWindowIsReportedAndTheWindowStays) {
    TrayIcon tray(TrayIcon::Backend::Window);
    tray.activate();
    QSignalSpy closeRequests(&tray, &TrayIcon::closeRequested);
    EXPECT_FALSE(tray.standInWindow()->close());
    EXPECT_EQ(closeRequests.count(), 1);
    EXPECT_TRUE(tray.standInWindow()->isVisible());
}

// Without a tray the window stands in; a tray that starts later takes over, and one
// that leaves gets the grace of a restart before the window comes back.
TEST(TrayIcon, automaticChoiceFollowsATrayThatComesAndGoes) {
    bool host = false;
    TrayIcon tray;
    tray.setHostProbe([&host] { return host; });
    tray.setTrayGoneGraceMs(50);
    tray.activate();
    EXPECT_TRUE(tray.usesStandInWindow());
    EXPECT_EQ(tray.systemTrayIcon(), nullptr);

    host = true;
    tray.hostsChanged();
    ASSERT_NE(tray.systemTrayIcon(), nullptr);
    EXPECT_TRUE(tray.systemTrayIcon()->isVisible());
    EXPECT_FALSE(tray.usesStandInWindow());

    host = false;
    tray.hostsChanged();
    host = true;
    tray.hostsChanged();
    QTest::qWait(100);
    EXPECT_FALSE(tray.usesStandInWindow()) << "a tray back within the grace keeps the icon";

    host = false;
    tray.hostsChanged();
    EXPECT_FALSE(tray.usesStandInWindow());
    QTRY_VERIFY(tray.usesStandInWindow());
    EXPECT_EQ(tray.systemTrayIcon(), nullptr);

    // While a dialog has it set aside, nothing is shown for a tray that appears; the
    // tray is used when the icon comes back.
    tray.deactivateKeepingPlace();
    host = true;
    tray.hostsChanged();
    EXPECT_EQ(tray.systemTrayIcon(), nullptr);
    tray.activate();
    ASSERT_NE(tray.systemTrayIcon(), nullptr);
    EXPECT_FALSE(tray.usesStandInWindow());
}

// Set aside for a dialog, the stand-in window stays where it is, disabled, and its close
// box ends nothing; it is enabled again afterwards.
TEST(TrayIcon, standInWindowSetAsideKeepsItsPlace) {
    TrayIcon tray(TrayIcon::Backend::Window);
    tray.activate();
    app::TrayStandInWindow* window = tray.standInWindow();
    window->move(40, 50);
    const QPoint place = window->pos();
    QSignalSpy closeRequests(&tray, &TrayIcon::closeRequested);

    tray.deactivateKeepingPlace();
    EXPECT_FALSE(tray.isActive());
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isEnabled());
    window->close();
    EXPECT_EQ(closeRequests.count(), 0);

    tray.activate();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(window->pos(), place);
}

TEST(TrayIcon, systemTrayIconCarriesIconTooltipAndMenu) {
    QMenu menu;
    app::buildTrayMenu(menu);
    TrayIcon tray(TrayIcon::Backend::SystemTray);
    tray.setIcon(someIcon());
    tray.setHint(longHint);
    tray.setMenu(&menu);
    tray.activate();
    ASSERT_NE(tray.systemTrayIcon(), nullptr);
    EXPECT_EQ(tray.standInWindow(), nullptr);
    EXPECT_TRUE(tray.systemTrayIcon()->isVisible());
    EXPECT_EQ(tray.systemTrayIcon()->toolTip(), longHint.left(63));
    EXPECT_EQ(tray.systemTrayIcon()->contextMenu(), &menu);

    tray.setMenu(nullptr);
    EXPECT_EQ(tray.systemTrayIcon()->contextMenu(), nullptr);
    tray.setHint("Falavox©");
    EXPECT_EQ(tray.systemTrayIcon()->toolTip(), "Falavox©");

    tray.deactivate();
    EXPECT_FALSE(tray.systemTrayIcon()->isVisible());
}

FALAVOX_TEST_MAIN(QApplication)
