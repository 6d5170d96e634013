#include "tests/chat/ChatTestFixture.h"
#include "tests/support/QtMain.h"

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>
#include <QTreeWidget>

namespace {

struct Fragment {
    QString text;
    QColor colour;
    QString family;
    double size;
    bool plainStyle;
};

std::vector<Fragment> fragmentsOf(QPlainTextEdit* memo) {
    std::vector<Fragment> result;
    for (QTextBlock block = memo->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const QTextCharFormat cf = f.charFormat();
            const QStringList families = cf.fontFamilies().toStringList();
            result.push_back({f.text(), cf.foreground().color(), families.value(0),
                              cf.fontPointSize(),
                              !cf.fontItalic() && !cf.fontUnderline() && !cf.fontStrikeOut() &&
                                  cf.fontWeight() == QFont::Normal && !cf.isImageFormat()});
        }
    return result;
}

QStringList userList(QTreeWidget* list) {
    QStringList names;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        names << list->topLevelItem(i)->text(0);
    return names;
}

} // namespace

TEST_F(ChatWindowTest, enterSendsTheTypedLineAsOneChatLine) {
    connectSession();
    openWindow();
    window->connectedLook();
    auto* input = child<QLineEdit>("mmomensagem");
    QTest::keyClicks(input, QStringLiteral("oi"));
    QTest::keyClick(input, Qt::Key_Return);
    EXPECT_EQ(input->text(), QString());    // Enter never becomes a character
    QTest::keyClick(input, Qt::Key_Return); // empty line
    input->setText(QStringLiteral("olá, você? ☃ €"));
    QTest::keyClick(input, Qt::Key_Enter);
    const std::string expected = "<Ana>oi\r\n<Ana>\r\n<Ana>ol\xe1, voc\xea? ? \x80\r\n";
    EXPECT_EQ(testsupport::rawRead(peerFd, expected.size()), expected);

    const QString shown = child<QPlainTextEdit>("memo1")->toPlainText();
    const QStringList lines = shown.split('\n');
    ASSERT_EQ(lines.size(), 4) << shown.toStdString();
    EXPECT_TRUE(lines[0].startsWith("<Ana ") && lines[0].endsWith("> oi"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith("> ")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].endsWith("> olá, você? ? €")) << lines[2].toStdString();
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ChatWindowTest, failedSendKeepsTheTextAndShowsTheError) {
    openWindow();
    window->connectedLook(); // look says connected, socket is not
    auto* input = child<QLineEdit>("mmomensagem");
    input->setText(QStringLiteral("perdido?"));
    QTest::keyClick(input, Qt::Key_Return);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith("Error 10057")) << boxes[0].text.toStdString();
    EXPECT_EQ(input->text(), QStringLiteral("perdido?"));
    EXPECT_TRUE(child<QPlainTextEdit>("memo1")->document()->isEmpty());
}

TEST_F(ChatWindowTest, everyEntryHasItsRuns) {
    openWindow();
    auto* memo = child<QPlainTextEdit>("memo1");
    const QColor text = memo->palette().color(QPalette::Text);
    window->addPlainLine("Status> Conectado com (Bob)");
    window->appendReceivedChatLine("Bob", "<b>x</b> <img src=\"a.png\"> &amp;\r");
    window->appendConnectedNotice();
    window->appendReceivedStatusLine("Status> Ocupado! Tente mais tarde...\r");
    window->styledAppend(chat::ownChatLineRuns("Ana", QStringLiteral("12:00:00"), "eu"));

    const QStringList lines = memo->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0].toStdString(), "Status> Conectado com (Bob)");
    EXPECT_TRUE(lines[1].startsWith("<Bob ") &&
                lines[1].endsWith("> <b>x</b> <img src=\"a.png\"> &amp;"))
        << lines[1].toStdString();
    EXPECT_EQ(lines[2].toStdString(), "Status> Conectado.");
    EXPECT_EQ(lines[3].toStdString(), "Status> Ocupado! Tente mais tarde...");
    EXPECT_EQ(lines[4].toStdString(), "<Ana 12:00:00> eu");
    EXPECT_EQ(lines[5].toStdString(), "");
    EXPECT_EQ(memo->document()->toHtml().contains("<img"), false);

    const auto f = fragmentsOf(memo);
    for (const auto& frag : f)
        EXPECT_TRUE(frag.plainStyle) << frag.text.toStdString();
    // Received chat line: "<", name in teal, grey stamp in Small Fonts 7, rest in the base font.
    auto at = [&](const QString& start) {
        for (const auto& frag : f)
            if (frag.text.startsWith(start)) return frag;
        ADD_FAILURE() << "no fragment " << start.toStdString();
        return Fragment{};
    };
    EXPECT_EQ(at("Bob ").colour, QColor(0, 128, 128));
    EXPECT_EQ(at("Bob ").family, QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(at("Bob ").size, 8);
    EXPECT_EQ(at("12:00:00").colour, QColor(128, 128, 128));
    EXPECT_EQ(at("12:00:00").family, QStringLiteral("Small Fonts"));
    EXPECT_EQ(at("12:00:00").size, 7);
    EXPECT_EQ(at("Ana ").colour, QColor(0, 0, 255));
    EXPECT_EQ(at("> <b>x</b>").colour, text);
    EXPECT_EQ(at("> <b>x</b>").size, 8);
    EXPECT_EQ(at("Status> Conectado.").colour, text);
    EXPECT_EQ(at("Status> Conectado.").family, QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(at("Status> Ocupado").size, 8);
    EXPECT_EQ(at("Status> Conectado com").family, QStringLiteral("MS Sans Serif"));
}

// The received lines of one turn go into the transcript in one edit, in order, and before
// anything the window is asked to do next.
TEST_F(ChatWindowTest, theLinesOfATurnGoInTogetherAndBeforeWhatFollows) {
    openWindow();
    auto* memo = child<QPlainTextEdit>("memo1");
    int edits = 0;
    QObject::connect(memo->document(), &QTextDocument::contentsChange,
                     [&](int, int, int added) { edits += added > 0; });
    window->gatherThisTurn();
    for (const char* line : {"um\r", "dois\r"}) {
        window->appendReceivedChatLine("Bob", line);
        window->finishEntry();
    }
    window->appendReceivedStatusLine("Status> tres\r");
    window->finishEntry();
    ASSERT_TRUE(testsupport::waitUntil([&] { return memo->blockCount() == 4; }));
    EXPECT_EQ(edits, 1);
    EXPECT_EQ(memo->textCursor().position(), memo->document()->characterCount() - 1);

    window->gatherThisTurn();
    window->appendReceivedChatLine("Bob", "quatro\r");
    window->finishEntry();
    window->addPlainLine("Status> Desconectado!");
    QStringList lines = memo->toPlainText().split('\n');
    for (QString& line : lines)
        line.remove(QRegularExpression(QStringLiteral(" [0-9][^>]*>")));
    EXPECT_EQ(lines, QStringList({"<Bob um", "<Bob dois", "Status> tres", "<Bob quatro",
                                  "Status> Desconectado!", ""}));

    // A turn that brings more than the transcript keeps: exactly its newest entries stay.
    window->gatherThisTurn();
    for (int i = 0; i < chat::transcriptEntries + 100; ++i)
        window->appendReceivedStatusLine("Status> " + std::to_string(i) + "\r");
    window->addPlainLine("fim");
    EXPECT_EQ(memo->blockCount() - 1, chat::transcriptEntries);
    EXPECT_EQ(memo->document()->firstBlock().text(), QStringLiteral("Status> 101"));
    EXPECT_EQ(memo->document()->lastBlock().previous().previous().text(),
              QStringLiteral("Status> %1").arg(chat::transcriptEntries + 99));
}

TEST_F(ChatWindowTest, menuItemStatesFollowTextAndSelection) {
    openWindow();
    auto* copy = child<QAction>("mnuCopiar");
    auto* selectAll = child<QAction>("SelecionarTudo1");
    auto* memo = child<QPlainTextEdit>("memo1");
    EXPECT_FALSE(copy->isEnabled());
    EXPECT_FALSE(selectAll->isEnabled());
    window->addPlainLine("linha");
    EXPECT_TRUE(copy->isEnabled());
    EXPECT_TRUE(selectAll->isEnabled());
    selectAll->trigger();
    EXPECT_TRUE(memo->textCursor().hasSelection());
    EXPECT_TRUE(copy->isEnabled());
    window->hideSelection();
    EXPECT_FALSE(copy->isEnabled());
    EXPECT_TRUE(selectAll->isEnabled());
    window->clearTranscript();
    EXPECT_FALSE(copy->isEnabled());
    EXPECT_FALSE(selectAll->isEnabled());

    // Shown again with text but no selection: only "Selecionar Tudo".
    window->addPlainLine("x");
    window->hide();
    window->show();
    EXPECT_FALSE(copy->isEnabled());
    EXPECT_TRUE(selectAll->isEnabled());
}

TEST_F(ChatWindowTest, bothLooks) {
    openWindow();
    auto* input = child<QLineEdit>("mmomensagem");
    auto* hangUp = child<QToolButton>("btnEncerrar");
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    const QColor windowBackground = QApplication::palette().color(QPalette::Base);
    ASSERT_NE(buttonFace, windowBackground);
    // A new window is disconnected.
    EXPECT_FALSE(input->isEnabled());
    EXPECT_FALSE(hangUp->isVisible());
    EXPECT_EQ(input->palette().color(QPalette::Base), buttonFace);

    window->activateWindow();
    window->connectedLook();
    EXPECT_TRUE(input->isEnabled());
    EXPECT_TRUE(hangUp->isVisible());
    EXPECT_EQ(input->palette().color(QPalette::Base), windowBackground);
    EXPECT_TRUE(testsupport::waitUntil([&] { return QApplication::focusWidget() == input; }));

    input->setText("meio");
    window->connectedLook();
    EXPECT_EQ(input->text(), QStringLiteral("meio")); // text kept
    window->disconnectedLook();
    EXPECT_EQ(input->text(), QString());
    EXPECT_FALSE(input->isEnabled());
    EXPECT_FALSE(hangUp->isVisible());
    EXPECT_EQ(input->palette().color(QPalette::Base), buttonFace);
}

TEST_F(ChatWindowTest, desconectarClosesTheSessionAndKeepsTheWindow) {
    connectSession();
    openWindow();
    window->connectedLook();
    child<QToolButton>("btnEncerrar")->click();
    EXPECT_NE(cli.State(), net::wsConnected);
    bool closed = false;
    testsupport::rawReadUntilClosed(peerFd, closed, 3000);
    EXPECT_TRUE(closed);
    testsupport::spin(50);
    EXPECT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(ChatWindowTest, closingTheWindowEndsTheSession) {
    connectSession();
    openWindow();
    child<QAction>("Sair1")->trigger();
    ASSERT_TRUE(testsupport::waitUntil([&] { return window.isNull(); }));
    bool closed = false;
    testsupport::rawReadUntilClosed(peerFd, closed, 3000);
    EXPECT_TRUE(closed);
    EXPECT_EQ(cli.State(), net::wsClosed);
}

TEST_F(ChatWindowTest, closedForInvitationLeavesTheConnectionOpen) {
    connectSession();
    openWindow();
    window->closeForInvitation();
    ASSERT_TRUE(testsupport::waitUntil([&] { return window.isNull(); }));
    EXPECT_EQ(cli.State(), net::wsConnected);
    bool closed = true;
    testsupport::rawReadUntilClosed(peerFd, closed, 200);
    EXPECT_FALSE(closed);
    // The connection still carries lines both ways.
    EXPECT_EQ(cli.SendText("x\r\n"), 3);
    EXPECT_EQ(testsupport::rawRead(peerFd, 3), "x\r\n");
}

TEST_F(ChatWindowTest, windowThatNoLongerHoldsTheSessionLeavesTheSocketAlone) {
    connectSession();
    openWindow();
    window->setHoldsSession(false);
    window->close();
    ASSERT_TRUE(testsupport::waitUntil([&] { return window.isNull(); }));
    EXPECT_EQ(cli.State(), net::wsConnected);
}

TEST_F(ChatWindowTest, userListRules) {
    openWindow("ana");
    auto* list = child<QTreeWidget>("ListUser");
    EXPECT_FALSE(list->isEnabled());
    EXPECT_EQ(userList(list), QStringList{"ANA"}); // shown: the local user
    window->addUser("Bob");
    window->addUser("bob");
    EXPECT_EQ(userList(list), (QStringList{"ANA", "BOB", "BOB"}));
    window->removePeer();
    EXPECT_EQ(userList(list), (QStringList{"ANA", "BOB"}));
    window->removePeer();
    window->removePeer();
    EXPECT_EQ(userList(list), QStringList{"ANA"});
    // A peer whose name is the local user's stays.
    window->addUser("Ana");
    window->removePeer();
    EXPECT_EQ(userList(list), (QStringList{"ANA", "ANA"}));
}

TEST_F(ChatWindowTest, usersPanelButtons) {
    openWindow();
    auto* panel = child<QWidget>("frmUsuarios");
    auto* emChat = child<QToolButton>("btnChat");
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(emChat->isChecked());
    child<QToolButton>("btnFecharUser")->click();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(emChat->isChecked());
    emChat->click();
    EXPECT_TRUE(panel->isVisible());
    emChat->click();
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(ChatWindowTest, placementIsStoredAndUsedByTheNextWindow) {
    openWindow();
    EXPECT_EQ(window->size(), QSize(527, 417));
    window->move(40, 50);
    window->resize(600, 380);
    child<QToolButton>("btnFecharUser")->click();
    window->close();
    ASSERT_TRUE(testsupport::waitUntil([&] { return window.isNull(); }));

    chat::IniFile ini(iniPath());
    ini.load();
    const QString s = QStringLiteral("TfrmChat");
    EXPECT_EQ(ini.value(s, "Flags"), QStringLiteral("0"));
    EXPECT_EQ(ini.value(s, "ShowCmd"), QStringLiteral("1"));
    EXPECT_EQ(ini.value(s, "MinMaxPos"), QStringLiteral("-1,-1,-1,-1"));
    EXPECT_EQ(ini.value(s, "NormPos"), QStringLiteral("40,50,640,430"));
    EXPECT_TRUE(ini.value(s, "PixelsPerInch").has_value());
    EXPECT_EQ(ini.value(s, "Visible"), QStringLiteral("0"));
    EXPECT_EQ(ini.value(s, "frmUsuarios_Visible"), QStringLiteral("False"));

    openWindow();
    EXPECT_EQ(window->pos(), QPoint(40, 50));
    EXPECT_EQ(window->size(), QSize(600, 380));
    EXPECT_FALSE(child<QWidget>("frmUsuarios")->isVisible());
    EXPECT_FALSE(child<QToolButton>("btnChat")->isChecked());
    // Destroyed without being closed: saved then, with "Visible" 1.
    delete window.data();
    ini.load();
    EXPECT_EQ(ini.value(s, "Visible"), QStringLiteral("1"));
}

// Closed while maximised: the normal place is what comes back when the window is
// restored, not the maximised one.
TEST_F(ChatWindowTest, placementClosedMaximisedKeepsTheNormalPlace) {
    openWindow();
    window->move(40, 50);
    window->resize(600, 380);
    window->showMaximized();
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return window->isMaximized() && window->size() != QSize(600, 380); }));
    window->close();
    ASSERT_TRUE(testsupport::waitUntil([&] { return window.isNull(); }));

    chat::IniFile ini(iniPath());
    ini.load();
    EXPECT_EQ(ini.value("TfrmChat", "ShowCmd"), QStringLiteral("3"));
    EXPECT_EQ(ini.value("TfrmChat", "NormPos"), QStringLiteral("40,50,640,430"));
}

// A stored rectangle too wide or too high to measure is not a place to use.
TEST_F(ChatWindowTest, placementTooLargeToMeasureIsNotUsed) {
    chat::IniFile ini(iniPath());
    ini.setValue("TfrmChat", "Flags", "0");
    ini.setValue("TfrmChat", "ShowCmd", "1");
    ini.setValue("TfrmChat", "MinMaxPos", "-1,-1,-1,-1");
    ini.setValue("TfrmChat", "NormPos", "-2147483648,0,2147483647,10");
    ini.setValue("TfrmChat", "PixelsPerInch", "96");
    ASSERT_TRUE(ini.save());
    const chat::PlacementStore store(iniPath(), "TfrmChat", "frmUsuarios");
    EXPECT_FALSE(store.read().placement.has_value());
}

// Where the window system keeps positions to itself, the size comes back and is stored;
// the position in the file is left for the next session that can use it.
TEST_F(ChatWindowTest, placementWhereTheWindowSystemPlacesWindowsKeepsOnlyTheSize) {
    openWindow();
    window->move(40, 50);
    window->resize(600, 380);
    window->close();
    ASSERT_TRUE(testsupport::waitUntil([&] { return window.isNull(); }));

    chat::setWindowSystemPlacesWindows(true);
    openWindow();
    EXPECT_EQ(window->size(), QSize(600, 380));
    EXPECT_NE(window->pos(), QPoint(40, 50));
    window->move(300, 310);
    window->resize(500, 360);
    window->close();
    ASSERT_TRUE(testsupport::waitUntil([&] { return window.isNull(); }));
    chat::setWindowSystemPlacesWindows(std::nullopt);

    chat::IniFile ini(iniPath());
    ini.load();
    EXPECT_EQ(ini.value("TfrmChat", "NormPos"), QStringLiteral("40,50,540,410"));
}

TEST_F(ChatWindowTest, placementFromAnotherPixelsPerInchIsNotUsed) {
    openWindow();
    const int ppi = qRound(window->screen()->logicalDotsPerInchY());
    const QPoint centred = window->pos();
    delete window.data();
    chat::IniFile ini(iniPath());
    ini.load();
    ini.setValue("TfrmChat", "NormPos", "10,20,300,200");
    ini.setValue("TfrmChat", "PixelsPerInch", QString::number(ppi + 24));
    ini.setValue("TfrmChat", "frmUsuarios_Visible", "False");
    ASSERT_TRUE(ini.save());
    openWindow();
    EXPECT_EQ(window->size(), QSize(527, 417));
    EXPECT_EQ(window->pos(), centred);
    EXPECT_FALSE(child<QWidget>("frmUsuarios")->isVisible()); // the panel is not a position
}

TEST_F(ChatWindowTest, controlsAsDesigned) {
    openWindow("ana");
    EXPECT_EQ(window->objectName(), QStringLiteral("frmChat"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Falavox© - Usuário: ana"));
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    for (const char* name :
         {"SpeedBar1", "Bevel3", "Bevel4", "btnSair", "Bevel1", "btnChat", "btnEncerrar",
          "frmUsuarios", "Panel4", "Label1", "btnFecharUser", "ListUser", "Panel5", "memo1",
          "Panel2", "mmomensagem", "MainMenu1", "Arquivo1", "mnuEditar"})
        EXPECT_NE(window->findChild<QObject*>(QLatin1String(name)), nullptr) << name;
    EXPECT_EQ(child<QWidget>("SpeedBar1")->height(), 56);
    EXPECT_EQ(child<QWidget>("btnSair")->geometry(), QRect(18, 3, 70, 50));
    EXPECT_EQ(child<QWidget>("btnChat")->geometry(), QRect(98, 3, 70, 50));
    EXPECT_EQ(child<QWidget>("btnEncerrar")->geometry(), QRect(168, 3, 70, 50));
    EXPECT_EQ(child<QWidget>("frmUsuarios")->width(), 122);
    EXPECT_EQ(child<QWidget>("Panel4")->height(), 24);
    EXPECT_EQ(child<QWidget>("btnFecharUser")->geometry(), QRect(95, 3, 20, 18));
    EXPECT_EQ(child<QWidget>("Panel2")->height(), 19);
    EXPECT_EQ(child<QAction>("mnuCopiar")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
    EXPECT_EQ(child<QToolButton>("btnSair")->text(), QStringLiteral("Sair do chat"));
    EXPECT_EQ(child<QToolButton>("btnChat")->text(), QStringLiteral("Em Chat"));
    EXPECT_EQ(child<QToolButton>("btnEncerrar")->text(), QStringLiteral("Desconectar"));
    EXPECT_EQ(child<QToolButton>("btnSair")->palette().color(QPalette::ButtonText),
              QColor(0, 0, 128));
    auto* input = child<QLineEdit>("mmomensagem");
    EXPECT_EQ(input->geometry(), QRect(0, 0, child<QWidget>("Panel2")->width(), 19));
    window->resize(700, 500);
    EXPECT_EQ(input->width(), child<QWidget>("Panel2")->width());
    EXPECT_EQ(input->width(), 700);
    // Tab does not leave the transcript.
    auto* memo = child<QPlainTextEdit>("memo1");
    window->activateWindow();
    memo->setFocus();
    ASSERT_TRUE(testsupport::waitUntil([&] { return QApplication::focusWidget() == memo; }));
    QTest::keyClick(memo, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), memo);
}

FALAVOX_TEST_MAIN(QApplication)
