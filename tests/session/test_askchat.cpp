#include "platform/system/Sound.h"
#include "session/AskChat.h"
#include "session/AskChatCountdown.h"
#include "session/FrmAskchat.h"
#include "tests/session/FakeNotificationService.h"
#include "tests/support/QtMain.h"
#include "ui/ApplicationTitle.h"
#include "ui/ShowForm.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

using namespace session;

namespace {

class FakeHost : public AskChatHost {
public:
    void deactivateTrayIcon() override {
        ++deactivations;
        trayShown = false;
    }
    void activateTrayIcon() override {
        ++activations;
        trayShown = true;
    }
    QIcon applicationIcon() const override { return icon; }

    int deactivations = 0;
    int activations = 0;
    bool trayShown = true;
    QIcon icon{QPixmap(QStringLiteral(":/app/telephone.png"))};
};

class FakePlayer : public platform::SoundPlayer {
public:
    void playSync(std::string_view waveFile) override {
        ++plays;
        played = std::string(waveFile);
        // The dialog exists by now; its window must not be on screen yet.
        dialogOnScreenWhilePlaying = false;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<TfrmAskchat*>(w) && w->windowHandle() &&
                w->windowHandle()->isVisible())
                dialogOnScreenWhilePlaying = true;
        if (fail) throw platform::SoundError("no sound server");
    }

    int plays = 0;
    bool fail = false;
    bool dialogOnScreenWhilePlaying = false;
    std::string played;
};

QImage iconImage(const QIcon& icon) {
    return icon.pixmap(16, 16).toImage();
}

class AskChatTest : public ::testing::Test {
protected:
    void SetUp() override {
        askchat::setSoundPlayer(&player);
        askchat::setBeep([this] { ++beeps; });
        askchat::setClock([this] { return now; });
        askchat::setNotificationService(&notices);
        ui::setApplicationTitle(QStringLiteral("Falavox©"));
    }
    void TearDown() override {
        askchat::setClock({});
        askchat::setNotificationService(nullptr);
        askchat::setShownHook({});
        askchat::setSoundPlayer(nullptr);
        askchat::setBeep({});
    }

    // Runs AskChat; `whileUp` acts on the dialog from inside its modal loop, `settle`
    // after it appeared (by the dialog's clock). A dialog the test left open is closed
    // so that nothing waits forever.
    bool ask(const std::string& caller, const std::string& text,
             std::function<void(TfrmAskchat&)> whileUp) {
        hookRuns = 0;
        leftOpen = false;
        askchat::setShownHook([this, whileUp](TfrmAskchat& dlg) {
            ++hookRuns;
            QPointer<TfrmAskchat> guard(&dlg);
            now += settle;
            dlg.settleAnswers();
            whileUp(dlg);
            if (guard && guard->isVisible()) {
                leftOpen = true;
                guard->close();
            }
        });
        return AskChat(host, caller, text);
    }

    FakeHost host;
    FakePlayer player;
    FakeNotificationService notices;
    int beeps = 0;
    int hookRuns = 0;
    bool leftOpen = false;
    std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
    std::chrono::milliseconds settle = AnswerGate::settleTime;
};

enum class Answer { Accept, Ignore, CloseBox, TimeOut, NoticeAccept, NoticeIgnore };

struct AnswerCase {
    const char* name;
    Answer answer;
    bool accepted;
    int afterMs = 1000; // when the answer comes, by the dialog's clock
};

class AskChatAnswerTest : public AskChatTest, public ::testing::WithParamInterface<AnswerCase> {};

// Every way the dialog can end gives the right answer, brings the tray icon back exactly
// once, hands the application title and icon back to the main form and withdraws the
// desktop notification posted with it. The notification's answers are taken also in the
// dialog's first second, when its own buttons take none.
TEST_P(AskChatAnswerTest, answerRestoresTrayTitleAndIcon) {
    settle = std::chrono::milliseconds(GetParam().afterMs);
    const bool accepted = ask("Ana", "Vamos conversar?", [&](TfrmAskchat& dlg) {
        EXPECT_EQ(host.deactivations, 1);
        EXPECT_EQ(host.activations, 0);
        EXPECT_FALSE(host.trayShown);
        EXPECT_EQ(ui::applicationTitle(), QStringLiteral("Convite ao Chat..."));
        ASSERT_EQ(notices.posts.size(), 1u);
        EXPECT_EQ(notices.posts[0].request.summary, dlg.windowTitle());
        EXPECT_TRUE(notices.closes.empty());
        const quint32 id = notices.posts[0].id;
        switch (GetParam().answer) {
        case Answer::Accept:
            QTest::mouseClick(dlg.btnAceitar, Qt::LeftButton);
            break;
        case Answer::Ignore:
            QTest::mouseClick(dlg.btnIgnorar, Qt::LeftButton);
            break;
        case Answer::CloseBox:
            dlg.close();
            break;
        case Answer::TimeOut:
            for (int i = 0; i < AskChatCountdown::tickCount; ++i)
                dlg.Timer1Timer();
            break;
        case Answer::NoticeAccept:
            emit notices.actionInvoked(id, QStringLiteral("aceitar"));
            break;
        case Answer::NoticeIgnore:
            emit notices.actionInvoked(id, QStringLiteral("ignorar"));
            break;
        }
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_FALSE(dlg.Timer1->isActive());
    });
    EXPECT_EQ(hookRuns, 1);
    EXPECT_FALSE(leftOpen);
    EXPECT_EQ(accepted, GetParam().accepted);
    EXPECT_EQ(host.deactivations, 1);
    EXPECT_EQ(host.activations, 1);
    EXPECT_TRUE(host.trayShown);
    EXPECT_EQ(ui::applicationTitle(), QStringLiteral("Falavox©"));
    EXPECT_EQ(iconImage(QApplication::windowIcon()), iconImage(host.icon));
    ASSERT_EQ(notices.posts.size(), 1u);
    EXPECT_EQ(notices.closes, std::vector<quint32>{notices.posts[0].id});
}

INSTANTIATE_TEST_SUITE_P(
    AllWays, AskChatAnswerTest,
    ::testing::Values(AnswerCase{"accept", Answer::Accept, true},
                      AnswerCase{"ignore", Answer::Ignore, false},
                      AnswerCase{"closeBox", Answer::CloseBox, false},
                      AnswerCase{"timeOut", Answer::TimeOut, false},
                      AnswerCase{"noticeAcceptAtHalfASecond", Answer::NoticeAccept, true, 500},
                      AnswerCase{"noticeAcceptAtOneAndAHalfSeconds", Answer::NoticeAccept, true,
                                 1500},
                      AnswerCase{"noticeIgnoreAtHalfASecond", Answer::NoticeIgnore, false, 500}),
    [](const auto& info) { return std::string(info.param.name); });

// Nothing drives the dialog: its own timer fills the bar one step per tick and closes it
// on the hundredth. The ticks are shortened so that the test does not wait 30 seconds.
// What the window manager does meanwhile (minimise, restore) must not stop the count.
struct TimeOutCase {
    const char* name;
    int minimiseAtTick; // 0: never
    int restoreAtTick;  // 0: never
};

class AskChatTimeOutTest : public AskChatTest, public ::testing::WithParamInterface<TimeOutCase> {
protected:
    void SetUp() override {
        AskChatTest::SetUp();
        askchat::setTickInterval(5);
    }
    void TearDown() override {
        askchat::setTickInterval(0);
        AskChatTest::TearDown();
    }
};

TEST_P(AskChatTimeOutTest, timesOutByItselfOnTheHundredthTickWithTheBarFull) {
    const TimeOutCase c = GetParam();
    std::vector<int> gauge;
    const bool accepted = ask("Ana", "", [&](TfrmAskchat& dlg) {
        QPointer<TfrmAskchat> alive(&dlg);
        QObject::connect(dlg.PB, &QProgressBar::valueChanged, [&](int value) {
            gauge.push_back(value);
            const int ticks = static_cast<int>(gauge.size());
            if (ticks == c.minimiseAtTick) dlg.showMinimized();
            if (ticks == c.restoreAtTick) dlg.showNormal();
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return alive.isNull() || !alive->isVisible(); }, 10000));
    });
    EXPECT_FALSE(accepted);
    EXPECT_FALSE(leftOpen) << "the dialog did not time out by itself";
    ASSERT_EQ(gauge.size(), 100u);
    EXPECT_EQ(gauge.front(), 1);
    EXPECT_EQ(gauge.back(), 100);
}

INSTANTIATE_TEST_SUITE_P(WhateverTheWindowManagerDoes, AskChatTimeOutTest,
                         ::testing::Values(TimeOutCase{"leftAlone", 0, 0},
                                           TimeOutCase{"minimisedAndLeft", 10, 0},
                                           TimeOutCase{"minimisedAndRestored", 10, 20}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AskChatTest, acceptingLateInTheCountdownStillAccepts) {
    EXPECT_TRUE(ask("Ana", "", [](TfrmAskchat& dlg) {
        for (int i = 0; i < 99; ++i)
            dlg.Timer1Timer();
        QTest::mouseClick(dlg.btnAceitar, Qt::LeftButton);
    }));
}

// An earlier dialog's bar, caption and text never leak into the next invitation.
TEST_F(AskChatTest, secondInvitationStartsAfreshWithTheNewCaller) {
    QPointer<TfrmAskchat> first;
    ask("Ana", "primeiro", [&](TfrmAskchat& dlg) {
        first = &dlg;
        for (int i = 0; i < 40; ++i)
            dlg.Timer1Timer();
        QTest::mouseClick(dlg.btnIgnorar, Qt::LeftButton);
    });
    EXPECT_TRUE(first.isNull()) << "the dialog deletes itself once closed";

    ask("Bruno", "segundo", [](TfrmAskchat& dlg) {
        EXPECT_EQ(dlg.PB->value(), 0);
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Convite ao chat do usuário: Bruno"));
        EXPECT_EQ(dlg.Label1->text(), QStringLiteral("segundo"));
        dlg.close();
    });
}

// A second invitation line while the dialog is up: the second call fails with the
// modal error, the first dialog keeps its caller and goes on to its own answer.
TEST_F(AskChatTest, secondCallWhileUpFailsAndFirstGoesOn) {
    bool threw = false;
    const bool accepted = ask("Ana", "oi", [&](TfrmAskchat& dlg) {
        try {
            AskChat(host, "Bruno", "outro");
        } catch (const ui::ModalWindowError& e) {
            threw = true;
            EXPECT_STREQ(e.what(), "Não é possível fazer uma janela modal visível");
        }
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Convite ao chat do usuário: Ana"));
        EXPECT_EQ(dlg.Label1->text(), QStringLiteral("oi"));
        EXPECT_EQ(host.activations, 0);
        EXPECT_EQ(ui::applicationTitle(), QStringLiteral("Convite ao Chat..."));
        dlg.Timer1Timer();
        EXPECT_EQ(dlg.PB->value(), 1);
        QTest::mouseClick(dlg.btnAceitar, Qt::LeftButton);
    });
    EXPECT_TRUE(threw);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(host.deactivations, 2);
    EXPECT_EQ(host.activations, 1);
    EXPECT_TRUE(host.trayShown);
    EXPECT_EQ(player.plays, 1);
}

// The dialog can have the keyboard while the user types into something else: a bare
// letter never answers it, Alt plus the underlined letter does (the button's click is
// animated, so it lands a moment later).
struct KeyCase {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool answers;
    bool accepted;
};

class AskChatKeyTest : public AskChatTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(AskChatKeyTest, onlyAltWithTheLetterAnswers) {
    const KeyCase c = GetParam();
    const bool accepted = ask("Ana", "", [&](TfrmAskchat& dlg) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
        QTest::keyClick(&dlg, c.key, c.modifiers);
        if (c.answers) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.isVisible(); }, 2000));
        } else {
            QTest::qWait(300);
            EXPECT_TRUE(dlg.isVisible());
        }
    });
    EXPECT_EQ(accepted, c.accepted);
    EXPECT_EQ(leftOpen, !c.answers);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, AskChatKeyTest,
    ::testing::Values(KeyCase{"altA", Qt::Key_A, Qt::AltModifier, true, true},
                      KeyCase{"altI", Qt::Key_I, Qt::AltModifier, true, false},
                      KeyCase{"bareA", Qt::Key_A, Qt::NoModifier, false, false},
                      KeyCase{"bareI", Qt::Key_I, Qt::NoModifier, false, false},
                      KeyCase{"shiftA", Qt::Key_A, Qt::ShiftModifier, false, false},
                      KeyCase{"escape", Qt::Key_Escape, Qt::NoModifier, false, false},
                      KeyCase{"enter", Qt::Key_Return, Qt::NoModifier, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A click or key meant for the window that was there a moment ago must not answer: in
// the dialog's first second its buttons are disabled and nothing answers, after it the
// same click does.
TEST_F(AskChatTest, nothingAnswersInTheFirstSecond) {
    settle = std::chrono::milliseconds(0);
    const bool accepted = ask("Ana", "", [&](TfrmAskchat& dlg) {
        EXPECT_FALSE(dlg.btnAceitar->isEnabled());
        EXPECT_FALSE(dlg.btnIgnorar->isEnabled());
        QTest::mouseClick(dlg.btnAceitar, Qt::LeftButton);
        QTest::mouseClick(dlg.btnIgnorar, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
        QTest::keyClick(&dlg, Qt::Key_A, Qt::AltModifier);
        QTest::qWait(300);
        now += AnswerGate::settleTime - std::chrono::milliseconds(1);
        dlg.settleAnswers();
        EXPECT_FALSE(dlg.btnIgnorar->isEnabled());
        dlg.btnIgnorarClick();
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_TRUE(dlg.Timer1->isActive());
        now += std::chrono::milliseconds(1);
        dlg.settleAnswers();
        EXPECT_TRUE(dlg.btnAceitar->isEnabled());
        EXPECT_TRUE(dlg.btnIgnorar->isEnabled());
        QTest::mouseClick(dlg.btnAceitar, Qt::LeftButton);
        EXPECT_FALSE(dlg.isVisible());
    });
    EXPECT_TRUE(accepted);
    EXPECT_FALSE(leftOpen);
}

// The time-out is no user's answer: it closes the dialog even when it comes early.
TEST_F(AskChatTest, timeOutIsNotHeldBackByTheFirstSecond) {
    settle = std::chrono::milliseconds(0);
    EXPECT_FALSE(ask("Ana", "", [](TfrmAskchat& dlg) {
        for (int i = 0; i < AskChatCountdown::tickCount; ++i)
            dlg.Timer1Timer();
        EXPECT_FALSE(dlg.isVisible());
    }));
    EXPECT_FALSE(leftOpen);
}

// Shown over another program's window, the dialog asks the window system not to give it
// the keyboard, and does not ask for it itself; a click on the notification's body asks
// for it on the user's behalf (also where the dialog refused the keyboard, as under X11)
// and answers nothing.
TEST_F(AskChatTest, takesTheKeyboardOnlyWhenTheNotificationAsksForIt) {
    ask("Ana", "", [&](TfrmAskchat& dlg) {
        EXPECT_TRUE(dlg.testAttribute(Qt::WA_ShowWithoutActivating));
        ASSERT_TRUE(dlg.windowHandle());
        EXPECT_TRUE(dlg.windowHandle()->property("_q_showWithoutActivating").toBool());
        dlg.windowHandle()->setFlag(Qt::WindowDoesNotAcceptFocus, true);
        emit notices.actionInvoked(notices.posts[0].id, QStringLiteral("default"));
        EXPECT_FALSE(dlg.windowHandle()->flags() & Qt::WindowDoesNotAcceptFocus);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg));
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_TRUE(dlg.Timer1->isActive());
    });
    EXPECT_TRUE(leftOpen) << "the notification's body answered the invitation";
}

// Caller and text arrive as Windows-1252 bytes; the text's trailing CR and any other
// control character must not break the one-line label.
TEST_F(AskChatTest, textsAreConvertedAndKeptOnOneLine) {
    ask("Jos\xe9", "Ol\xe1, vamos\tconversar?\r", [](TfrmAskchat& dlg) {
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Convite ao chat do usuário: José"));
        EXPECT_EQ(dlg.Label1->text(), QStringLiteral("Olá, vamos conversar?"));
        EXPECT_EQ(dlg.Label1->geometry(), QRect(8, 5, 371, dlg.fontMetrics().height()));
        EXPECT_TRUE(dlg.Label1->alignment() & Qt::AlignHCenter);
        EXPECT_EQ(dlg.Label1->textFormat(), Qt::PlainText);
    });
    ask("Ana", "", [](TfrmAskchat& dlg) {
        EXPECT_EQ(dlg.Label1->text(), QString());
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Convite ao chat do usuário: Ana"));
    });
}

TEST_F(AskChatTest, soundPlaysBeforeTheDialogAppears) {
    ask("Ana", "", [](TfrmAskchat&) {});
    ASSERT_EQ(player.plays, 1);
    EXPECT_FALSE(player.dialogOnScreenWhilePlaying);
    EXPECT_EQ(beeps, 0);
    // The compiled-in chime is what reaches the player.
    const platform::WaveClip clip = platform::parseWave(player.played);
    EXPECT_EQ(clip.channels, 1);
    EXPECT_EQ(clip.sampleRate, 22050u);
    EXPECT_EQ(clip.bitsPerSample, 8);
}

TEST_F(AskChatTest, failedPlaybackBeepsAndTheDialogGoesOn) {
    player.fail = true;
    EXPECT_TRUE(ask("Ana", "", [&](TfrmAskchat& dlg) {
        EXPECT_EQ(beeps, 1);
        QTest::mouseClick(dlg.btnAceitar, Qt::LeftButton);
    }));
    EXPECT_EQ(player.plays, 1);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(hookRuns, 1);
}

TEST_F(AskChatTest, applicationIconTalksWhileTheDialogIsUp) {
    ask("Ana", "", [](TfrmAskchat& dlg) {
        const QImage closed = dlg.Image2->pixmap().toImage();
        const QImage open = dlg.Image3->pixmap().toImage();
        const QImage wide = dlg.Image4->pixmap().toImage();
        ASSERT_FALSE(closed.isNull());
        EXPECT_NE(closed, open);
        EXPECT_NE(open, wide);
        EXPECT_EQ(iconImage(QApplication::windowIcon()), closed.scaled(16, 16));
        const std::vector<QImage> expected = {closed, open, wide, open, closed};
        for (const QImage& face : expected) {
            dlg.Timer1Timer();
            EXPECT_EQ(iconImage(QApplication::windowIcon()), face.scaled(16, 16));
        }
        dlg.close();
    });
}

// The gauge has no text and no frame: white where empty, dark blue where filled.
TEST_F(AskChatTest, gaugeFillsInDarkBlueOnWhite) {
    ask("Ana", "", [](TfrmAskchat& dlg) {
        for (int i = 0; i < 50; ++i)
            dlg.Timer1Timer();
        const QImage bar = dlg.PB->grab().toImage();
        ASSERT_EQ(bar.size(), QSize(326, 16));
        EXPECT_EQ(bar.pixelColor(1, 1), QColor(0, 0, 160));
        EXPECT_EQ(bar.pixelColor(80, 8), QColor(0, 0, 160));
        EXPECT_EQ(bar.pixelColor(160, 15), QColor(0, 0, 160));
        EXPECT_EQ(bar.pixelColor(170, 8), QColor(Qt::white));
        EXPECT_EQ(bar.pixelColor(324, 14), QColor(Qt::white));
        EXPECT_FALSE(dlg.PB->isTextVisible());
        dlg.close();
    });
}

TEST_F(AskChatTest, fixedSizeDialogThatStaysOnTop) {
    ask("Ana", "", [](TfrmAskchat& dlg) {
        EXPECT_EQ(dlg.objectName(), QStringLiteral("frmAskchat"));
        EXPECT_EQ(dlg.size(), QSize(387, 98));
        EXPECT_EQ(dlg.Timer1->interval(), 300);
        EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
        const Qt::WindowFlags flags = dlg.windowFlags();
        EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
        EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
        EXPECT_TRUE(flags & Qt::CustomizeWindowHint) << "the window manager's buttons stay";
        EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        EXPECT_TRUE(dlg.isModal());
        EXPECT_EQ(dlg.btnAceitar->focusPolicy(), Qt::NoFocus);
        EXPECT_EQ(dlg.btnIgnorar->focusPolicy(), Qt::NoFocus);
        EXPECT_EQ(dlg.btnAceitar->text(), QStringLiteral("&Aceitar"));
        EXPECT_EQ(dlg.btnIgnorar->text(), QStringLiteral("&Ignorar"));
        EXPECT_EQ(dlg.findChild<QProgressBar*>(QStringLiteral("PB")), dlg.PB);
        dlg.close();
    });
}

TEST(AskChatCountdownTest, facesTalkAndTheGaugeFillsToAHundred) {
    using Face = AskChatCountdown::Face;
    AskChatCountdown countdown;
    const Face expected[] = {Face::Closed, Face::Open, Face::Wide, Face::Open,
                             Face::Closed, Face::Open, Face::Wide, Face::Open};
    for (int i = 0; i < 8; ++i) {
        const auto tick = countdown.tick();
        EXPECT_EQ(tick.face, expected[i]) << "tick " << i + 1;
        EXPECT_EQ(tick.progress, i + 1);
        EXPECT_FALSE(tick.timedOut);
    }
    for (int i = 9; i < 100; ++i)
        EXPECT_FALSE(countdown.tick().timedOut) << "tick " << i;
    const auto last = countdown.tick();
    EXPECT_TRUE(last.timedOut);
    EXPECT_EQ(last.progress, 100);
    // A tick that slips in after the time-out keeps the gauge full, not past it.
    EXPECT_EQ(countdown.tick().progress, 100);
}

} // namespace

FALAVOX_TEST_MAIN(QApplication)
