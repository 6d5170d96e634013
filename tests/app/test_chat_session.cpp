// Two complete copies of the program in one process, each listening on its own loopback
// address, chatting with each other as two users would: invitation, answer, chat lines
// both ways, and the end of the session on either side.

#include "app/Frminicial.h"
#include "chat/FrmChat.h"
#include "chat/TranscriptBound.h"
#include "net/SocketLibrary.h"
#include "platform/sockets/PosixSockets.h"
#include "platform/sockets/SocketLibraryLoader.h"
#include "platform/system/Sound.h"
#include "session/AskChat.h"
#include "session/FrmAskchat.h"
#include "tests/support/AnswerClock.h"
#include "tests/support/EventLoop.h"
#include "tests/support/KnownHosts.h"
#include "tests/support/ProgramCopy.h"
#include "tests/support/QtMain.h"
#include "tests/support/Raised.h"
#include "tests/support/RawPeer.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <arpa/inet.h>
#include <atomic>
#include <ctime>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using app::Tfrminicial;
using ::testing::ElementsAre;
using testsupport::ProgramCopy;
using testsupport::spin;
using testsupport::waitUntil;

namespace {

// Names are answered here, never by the machine's resolver.
testsupport::KnownHosts knownHosts;

class SilentPlayer : public platform::SoundPlayer {
public:
    void playSync(std::string_view) override {}
};

enum class Answer { Accept, Ignore, CloseBox, TimeOut, None };

class ChatSessionTest : public ::testing::Test {
protected:
    testsupport::AnswerClock answerClock;
    void SetUp() override {
        session::askchat::setSoundPlayer(&silent);
        session::askchat::setShownHook([this](session::TfrmAskchat& dialog) {
            ++dialogs;
            answerClock.settle();
            if (beforeAnswer) beforeAnswer();
            switch (answer) {
            case Answer::Accept:
                dialog.btnAceitarClick();
                break;
            case Answer::Ignore:
                dialog.btnIgnorarClick();
                break;
            case Answer::CloseBox:
                dialog.close();
                break;
            case Answer::TimeOut:
                for (int i = 0; i < 100; ++i)
                    dialog.Timer1Timer();
                break;
            case Answer::None:
                break;
            }
        });
        ui::messageBoxHook() = [this](const ui::ShownBox& box) { boxes.push_back(box.text); };
        port = std::to_string(testsupport::freeLoopbackPort("127.0.0.2"));
        ana = std::make_unique<ProgramCopy>("127.0.0.2", port, "Ana");
        beto = std::make_unique<ProgramCopy>("127.0.0.3", port, "Beto");
        EXPECT_TRUE(ana->listening());
        EXPECT_TRUE(beto->listening());
        beto->form->Session.Clock = [this] { return std::chrono::steady_clock::now() + later; };
    }
    void TearDown() override {
        ana.reset();
        beto.reset();
        spin(20);
        session::askchat::setShownHook(nullptr);
        session::askchat::setSoundPlayer(nullptr);
        ui::messageBoxHook() = nullptr;
    }

    // Ana invites Beto's computer and Beto answers the dialog.
    void anaInvitesBeto(Answer how) {
        answer = how;
        ana->form->Invite(beto->address);
    }
    void startSession() {
        anaInvitesBeto(Answer::Accept);
        ASSERT_TRUE(waitUntil([&] { return ana->showsLine("Status> Conectado."); }))
            << ana->lines().join(" | ").toStdString() << " / "
            << beto->lines().join(" | ").toStdString();
        ASSERT_TRUE(waitUntil([&] { return beto->chat() && beto->connectedLook(); }));
    }

    // A plain connection to a copy's listener, as a caller that has not spoken yet; from
    // the given loopback address, as another computer would call.
    int callAna() const { return call(*ana); }
    // `waitMs` bounds the connect; 0 returns at once, the connection still on its way.
    int call(const ProgramCopy& copy, const char* from = nullptr, int waitMs = -1) const {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(std::stoi(port)));
        a.sin_addr.s_addr = inet_addr(copy.address.c_str());
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in source{};
        source.sin_family = AF_INET;
        source.sin_addr.s_addr = inet_addr(from ? from : "127.0.0.1");
        if (waitMs == 0) ::fcntl(fd, F_SETFL, O_NONBLOCK);
        if (waitMs > 0) {
            const timeval bound{0, waitMs * 1000};
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
        }
        if (::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
            (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 &&
             !(waitMs == 0 && errno == EINPROGRESS))) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    // Whether a raw caller's connection has ended by now; what it was sent is dropped.
    static bool hearsTheEndNow(int fd) {
        char buffer[256];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
        }
        return n == 0 || (n < 0 && errno != EAGAIN && errno != ENOTCONN);
    }
    // Whether a raw caller sees its connection end, with the event loop running meanwhile.
    static bool seesTheEnd(int fd) {
        return waitUntil([fd] {
            char buffer[256];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            return n == 0 || (n < 0 && errno != EAGAIN);
        });
    }

    // What a raw caller reads until its connection ends, and how it ended.
    enum class End { StillOpen, InOrder, Reset };
    struct Heard {
        std::string bytes;
        End end = End::StillOpen;
    };
    static Heard hear(int fd) {
        Heard heard;
        waitUntil([&] {
            char buffer[256];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) heard.bytes.append(buffer, static_cast<std::size_t>(n));
            if (n == 0) heard.end = End::InOrder;
            if (n < 0 && errno != EAGAIN)
                heard.end = errno == ECONNRESET ? End::Reset : End::InOrder;
            return heard.end != End::StillOpen;
        });
        return heard;
    }

    // Beto's clock runs this much ahead of the steady clock.
    std::chrono::steady_clock::duration later{};
    SilentPlayer silent;
    Answer answer = Answer::Accept;
    std::function<void()> beforeAnswer;
    int dialogs = 0;
    std::vector<QString> boxes;
    std::string port;
    std::unique_ptr<ProgramCopy> ana;
    std::unique_ptr<ProgramCopy> beto;
};

} // namespace

TEST_F(ChatSessionTest, inviteAcceptAndChatBothWays) {
    startSession();
    EXPECT_EQ(dialogs, 1);
    EXPECT_THAT(ana->lines(), ElementsAre("Status> Convidando (127.0.0.3) ao chat... (Aguarde)",
                                          "Status> Conectado."));
    EXPECT_THAT(beto->lines(), ElementsAre("Status> Conectado com (Ana)"));
    EXPECT_TRUE(ana->connectedLook());
    EXPECT_THAT(ana->users(), ElementsAre("ANA", "127.0.0.3"));
    EXPECT_THAT(beto->users(), ElementsAre("BETO", "ANA"));

    ana->type("Oi, Beto! <b>tudo bem?</b>");
    ASSERT_TRUE(waitUntil([&] { return beto->lines().size() == 2; }));
    beto->type(QString::fromUtf8("Tudo ótimo, e você?"));
    ASSERT_TRUE(waitUntil([&] { return ana->lines().size() == 4; }));
    beto->type("");
    ASSERT_TRUE(waitUntil([&] { return ana->lines().size() == 5; }));

    EXPECT_THAT(ana->lines(),
                ElementsAre("Status> Convidando (127.0.0.3) ao chat... (Aguarde)",
                            "Status> Conectado.", "<Ana> Oi, Beto! <b>tudo bem?</b>",
                            QString::fromUtf8("<Beto> Tudo ótimo, e você?"), "<Beto> "));
    EXPECT_THAT(beto->lines(),
                ElementsAre("Status> Conectado com (Ana)", "<Ana> Oi, Beto! <b>tudo bem?</b>",
                            QString::fromUtf8("<Beto> Tudo ótimo, e você?"), "<Beto> "));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ChatSessionTest, everyWayOfNotAcceptingRefusesAndDisconnects) {
    for (Answer how : {Answer::Ignore, Answer::CloseBox, Answer::TimeOut}) {
        anaInvitesBeto(how);
        ASSERT_TRUE(waitUntil([&] { return ana->showsLine("Status> Desconectado!"); }))
            << static_cast<int>(how);
        EXPECT_THAT(ana->lines(),
                    ElementsAre("Status> Convidando (127.0.0.3) ao chat... (Aguarde)",
                                "Status> Seu convite ao chat foi recusado! Tente mais tarde...",
                                "Status> Desconectado!"));
        EXPECT_FALSE(ana->connectedLook());
        EXPECT_EQ(beto->chat(), nullptr) << "a refused invitation opens no window";
        ASSERT_TRUE(waitUntil([&] { return beto->session() == net::wsClosed; }));
    }
    EXPECT_EQ(dialogs, 3);
}

TEST_F(ChatSessionTest, autoAnswerWithATextShowsItAndDisconnects) {
    beto->form->SettingsOwner.settings().AutoResposta = true;
    beto->form->SettingsOwner.settings().Resposta = "Volto j\xe1!";
    anaInvitesBeto(Answer::None);
    ASSERT_TRUE(waitUntil([&] { return ana->showsLine("Status> Desconectado!"); }));
    EXPECT_THAT(ana->lines(), ElementsAre("Status> Convidando (127.0.0.3) ao chat... (Aguarde)",
                                          QString::fromUtf8("<Beto (auto-resposta)>  Volto já!"),
                                          "Status> Desconectado!"));
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(beto->chat(), nullptr);
}

TEST_F(ChatSessionTest, autoAnswerWithoutATextRefuses) {
    beto->form->SettingsOwner.settings().AutoResposta = true;
    anaInvitesBeto(Answer::None);
    ASSERT_TRUE(waitUntil([&] { return ana->showsLine("Status> Desconectado!"); }));
    EXPECT_THAT(ana->lines(),
                ElementsAre("Status> Convidando (127.0.0.3) ao chat... (Aguarde)",
                            "Status> Seu convite ao chat foi recusado! Tente mais tarde...",
                            "Status> Desconectado!"));
    EXPECT_EQ(dialogs, 0);
}

TEST_F(ChatSessionTest, theInvitationCarriesTheInvitationText) {
    ana->form->SettingsOwner.settings().ChatConvite = "Vamos conversar?";
    std::string shownText;
    beforeAnswer = [&] { shownText = session::askChatData().invitationText; };
    startSession();
    EXPECT_EQ(shownText, "Vamos conversar?\r");
    EXPECT_EQ(session::askChatData().callerName, "Ana");
}

TEST_F(ChatSessionTest, aSecondCallerHearsThatTheUserIsBusy) {
    startSession();
    ProgramCopy carla("127.0.0.4", port, "Carla");
    ASSERT_TRUE(carla.listening());
    carla.form->Invite(beto->address);
    ASSERT_TRUE(waitUntil([&] { return carla.showsLine("Status> Desconectado!"); }));
    EXPECT_THAT(carla.lines(),
                ElementsAre("Status> Convidando (127.0.0.3) ao chat... (Aguarde)",
                            "Status> Ocupado! Tente mais tarde...", "Status> Desconectado!"));
    // The running session goes on, untouched.
    ana->type("ainda aqui");
    ASSERT_TRUE(waitUntil([&] { return beto->showsLine("<Ana> ainda aqui"); }));
    EXPECT_EQ(dialogs, 1);
}

TEST_F(ChatSessionTest, theCallerHangingUpWhileTheDialogIsUp) {
    beforeAnswer = [&] {
        ana->chat()->close();
        ASSERT_TRUE(waitUntil([&] { return beto->session() == net::wsClosed; }));
    };
    anaInvitesBeto(Answer::Accept);
    ASSERT_TRUE(waitUntil([&] { return beto->chat() != nullptr; }));
    EXPECT_THAT(beto->lines(), ElementsAre("Status> O usuário (Ana) se desconectou!!"));
    EXPECT_FALSE(beto->input()->isEnabled());
    EXPECT_THAT(beto->users(), ElementsAre("BETO"));
}

TEST_F(ChatSessionTest, eitherSideEndsTheSession) {
    startSession();
    beto->chat()->findChild<QToolButton*>("btnEncerrar")->click();
    ASSERT_TRUE(waitUntil([&] { return ana->showsLine("Status> Desconectado!"); }));
    ASSERT_TRUE(waitUntil([&] { return beto->showsLine("Status> Desconectado!"); }));
    EXPECT_FALSE(ana->connectedLook());
    EXPECT_FALSE(beto->connectedLook());
    EXPECT_THAT(ana->users(), ElementsAre("ANA"));
    EXPECT_THAT(beto->users(), ElementsAre("BETO"));

    // A new session, ended this time by closing the inviting window.
    startSession();
    ana->chat()->close();
    ASSERT_TRUE(waitUntil([&] { return beto->lines().endsWith("Status> Desconectado!"); }));
    EXPECT_EQ(ana->session(), net::wsClosed);
}

TEST_F(ChatSessionTest, aRefusedConnectionAndAnUnknownName) {
    ana->form->Invite("127.0.0.5"); // nothing listens there
    ASSERT_TRUE(waitUntil([&] { return ana->showsLine("Status> Desconectado!"); }));
    EXPECT_THAT(
        ana->lines(),
        ElementsAre("Status> Convidando (127.0.0.5) ao chat... (Aguarde)",
                    QString::fromUtf8("Status> O usuário (127.0.0.5), não esta disponível!"),
                    "Status> Desconectado!"));

    ana->form->Invite("example.invalid.");
    ASSERT_TRUE(waitUntil([&] { return ana->showsLine("Status> Servidor desconhecido"); }));
    EXPECT_THAT(ana->lines(), ElementsAre("Status> Servidor desconhecido"));
    EXPECT_EQ(ana->chat()->peerName(), "Example.invalid.");
    EXPECT_FALSE(ana->input()->isEnabled());
}

TEST_F(ChatSessionTest, invitingOneselfOrWhileConnectedIsRefusedWithABox) {
    ana->form->Invite("aNA");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], QString::fromUtf8("Você esta tentando se auto-conectar!"));
    EXPECT_EQ(ana->chat(), nullptr);

    startSession();
    const QStringList before = ana->lines();
    ana->form->Invite("127.0.0.4");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], QString::fromUtf8("Você já esta conectado!!"));
    EXPECT_EQ(ana->lines(), before);
    EXPECT_EQ(ana->session(), net::wsConnected);
}

TEST_F(ChatSessionTest, invitingAnotherComputerWhileConnectingGivesTheFirstAttemptUp) {
    ana->form->Invite("127.0.0.5"); // its refusal is still on its way
    ASSERT_EQ(ana->session(), net::wsConnecting);
    answer = Answer::Accept;
    ana->form->Invite(beto->address);
    ASSERT_TRUE(waitUntil([&] { return ana->showsLine("Status> Conectado."); }));
    EXPECT_THAT(ana->lines(), ElementsAre("Status> Convidando (127.0.0.3) ao chat... (Aguarde)",
                                          "Status> Conectado."));
    EXPECT_EQ(ana->chat()->peerName(), "127.0.0.3");
}

TEST_F(ChatSessionTest, aLookupAnsweredAfterACallerWasAdoptedLeavesTheCallerAlone) {
    ana->form->Invite("localhost"); // looked up in the background
    ASSERT_TRUE(ana->form->CliSocket.DnsLookupPending());
    // A caller arrives before the answer and takes the session socket over.
    const int fd = callAna();
    ASSERT_GE(fd, 0);
    ana->form->Session.SrvSocketSessionAvailable(0);
    ASSERT_EQ(ana->session(), net::wsConnected);
    EXPECT_FALSE(ana->form->CliSocket.DnsLookupPending());
    spin(300); // the lookup's answer would have come by now
    EXPECT_EQ(ana->session(), net::wsConnected);
    testsupport::rawWrite(fd, "Status> Green Ligth\r\n");
    EXPECT_TRUE(waitUntil([&] { return ana->showsLine("Status> Conectado."); }));
    EXPECT_FALSE(ana->showsLine("Status> Servidor desconhecido"));
    ::close(fd);
}

TEST_F(ChatSessionTest, closingTheWindowWhileLookingUpSendsNoInvitation) {
    ana->form->Invite("localhost");
    std::vector<int> states;
    ana->form->CliSocket.OnChangeState = [&](net::TCustomEventSocket*, net::TSocketState,
                                             net::TSocketState to) { states.push_back(to); };
    ana->chat()->close();
    ASSERT_TRUE(waitUntil([&] { return ana->chat() == nullptr; }));
    EXPECT_FALSE(ana->form->CliSocket.DnsLookupPending());
    spin(300);
    EXPECT_TRUE(states.empty()) << "no connection was attempted";
    ana->form->CliSocket.OnChangeState = nullptr;
}

TEST_F(ChatSessionTest, closingAnEndedSessionsWindowLeavesANewCallersConnectionOpen) {
    startSession();
    beto->chat()->findChild<QToolButton*>("btnEncerrar")->click();
    ASSERT_TRUE(waitUntil([&] { return ana->showsLine("Status> Desconectado!"); }));
    // A new caller connects to Ana and has not yet sent its invitation.
    const int fd = callAna();
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(waitUntil([&] { return ana->session() == net::wsConnected; }));
    ana->chat()->close();
    ASSERT_TRUE(waitUntil([&] { return ana->chat() == nullptr; }));
    spin(50);
    EXPECT_EQ(ana->session(), net::wsConnected);
    bool closed = false;
    testsupport::rawReadUntilClosed(fd, closed, 100);
    EXPECT_FALSE(closed);
    ::close(fd);
}

TEST_F(ChatSessionTest, aCallerWithNoDescriptorLeftIsTurnedAwayAndTheNextIsServed) {
    int announced = 0;
    auto accepting = beto->form->SrvSocket.OnSessionAvailable;
    beto->form->SrvSocket.OnSessionAvailable = [&](net::TCustomEventSocket* s, std::uint16_t e) {
        ++announced;
        accepting(s, e);
    };
    // A failed accept raises the socket layer's error; raised once beforehand, the
    // sanitizers' checks of it are cached and need no descriptor of their own later.
    EXPECT_NE(testsupport::raisedText([&] { beto->form->SrvSocket.Accept(); }), "<nothing raised>");
    const int caller = call(*beto);
    ASSERT_GE(caller, 0);
    // From here on the process has no descriptor left to accept the caller with.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);
    ::close(lowestFree);
    rlimit lowered = saved;
    lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    const bool turnedAway = seesTheEnd(caller);
    spin(200);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(turnedAway);
    EXPECT_EQ(announced, 1) << "the listener must not spin on a caller it cannot take";
    EXPECT_EQ(beto->form->SrvSocket.State(), net::wsListening);
    ::close(caller);
    startSession();
}

TEST_F(ChatSessionTest, aCutOffLineOfAnEarlierCallerIsNotGluedToTheNextOnesInvitation) {
    const int first = call(*beto);
    ASSERT_TRUE(waitUntil([&] { return beto->session() == net::wsConnected; }));
    testsupport::rawWrite(first, "<%$#Ana>cut o");
    ::close(first);
    ASSERT_TRUE(waitUntil([&] { return beto->session() == net::wsClosed; }));
    answer = Answer::Ignore;
    const int second = call(*beto);
    testsupport::rawWrite(second, "<%$#Carla>Oi\r\n");
    EXPECT_TRUE(waitUntil([&] { return dialogs == 1; }));
    EXPECT_EQ(session::askChatData().callerName, "Carla");
    ::close(second);
}

TEST_F(ChatSessionTest, aWindowShowingAConnectedSessionHoldsIt) {
    ana->form->Invite("localhost"); // looked up in the background
    const int caller = callAna();
    ana->form->Session.SrvSocketSessionAvailable(0);
    ASSERT_EQ(ana->session(), net::wsConnected);
    testsupport::rawWrite(caller, "Status> Green Ligth\r\n");
    ASSERT_TRUE(waitUntil([&] { return ana->showsLine("Status> Conectado."); }));
    ana->chat()->close();
    EXPECT_TRUE(seesTheEnd(caller));
    EXPECT_EQ(ana->session(), net::wsClosed);
    ::close(caller);
}

TEST_F(ChatSessionTest, aNewCallerWhileTheDialogIsUpHearsTheBusyLine) {
    std::string heard;
    beforeAnswer = [&] {
        ana->chat()->close();
        ASSERT_TRUE(waitUntil([&] { return beto->session() == net::wsClosed; }));
        const int other = call(*beto);
        testsupport::rawWrite(other, "<%$#Carla>\r\n");
        bool closed = false;
        waitUntil([&] {
            char buffer[256];
            const ssize_t n = ::recv(other, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) heard.append(buffer, static_cast<std::size_t>(n));
            closed = n == 0 || (n < 0 && errno != EAGAIN);
            return closed;
        });
        ::close(other);
    };
    anaInvitesBeto(Answer::Accept);
    ASSERT_TRUE(waitUntil([&] { return beto->chat() != nullptr; }));
    EXPECT_EQ(heard, "Status> Ocupado! Tente mais tarde...\r\n");
    EXPECT_THAT(beto->lines(), ElementsAre("Status> O usuário (Ana) se desconectou!!"));
    EXPECT_EQ(beto->session(), net::wsClosed);
    EXPECT_EQ(dialogs, 1);
}

// A copy of the program sends its invitation, and reads the answer, when its own event
// loop gets to them, which a slow network can hold up for many seconds. With nobody else
// calling it is still asked, and a refusal it reads late is there to read, followed by
// an orderly end; a chat is never timed out.
TEST_F(ChatSessionTest, aSlowCallerAloneIsAskedAndReadsItsRefusalLate) {
    answer = Answer::Ignore;
    const auto& bound = beto->form->Session.CallerBound;
    for (const auto delay : {std::chrono::seconds(6), std::chrono::seconds(20)}) {
        const int fd = call(*beto);
        ASSERT_TRUE(waitUntil([&] { return beto->session() == net::wsConnected; }));
        later += delay;
        spin(300);
        ASSERT_EQ(beto->session(), net::wsConnected) << delay.count();
        testsupport::rawWrite(fd, "<%$#Eva>oi\r\n");
        ASSERT_TRUE(waitUntil([&] { return dialogs > 0; })) << delay.count();
        dialogs = 0;
        // Not read and not hung up: let go after the bound, in order.
        later += bound;
        ASSERT_TRUE(waitUntil([&] { return beto->session() == net::wsClosed; }));
        const Heard heard = hear(fd);
        EXPECT_EQ(heard.bytes,
                  "Status> @!%Seu convite ao chat foi recusado! Tente mais tarde...\r\n");
        EXPECT_EQ(heard.end, End::InOrder);
        ::close(fd);
    }
    startSession();
    later += 2 * bound;
    spin(300);
    EXPECT_EQ(beto->session(), net::wsConnected);
}

// A caller that has not invited keeps the line for its first second; after that, the
// next caller from another computer takes it, and the first one's connection ends in
// order. A caller turned away hears the busy line, also when its invitation was already
// on its way.
TEST_F(ChatSessionTest, aCallerThatHasNotInvitedGivesWayAfterASecond) {
    answer = Answer::Ignore;
    const struct {
        std::chrono::milliseconds silence;
        const char* from;
    } firstCallers[] = {{std::chrono::milliseconds(1500), "127.0.0.5"},
                        {std::chrono::milliseconds(0), "127.0.0.8"}};
    for (const auto& [silence, from] : firstCallers) {
        const int first = call(*beto, from);
        ASSERT_TRUE(waitUntil([&] { return beto->session() == net::wsConnected; }));
        later += silence;
        const int second = call(*beto, "127.0.0.6");
        testsupport::rawWrite(second, "<%$#Carla>oi\r\n");
        const bool gaveWay = silence >= beto->form->Session.CallerGrace;
        const Heard heard = hear(gaveWay ? first : second);
        EXPECT_EQ(heard.bytes, gaveWay ? "" : "Status> Ocupado! Tente mais tarde...\r\n");
        EXPECT_EQ(heard.end, End::InOrder) << silence.count();
        if (gaveWay) {
            ASSERT_TRUE(waitUntil([&] { return dialogs == 1; }));
            EXPECT_EQ(session::askChatData().callerName, "Carla");
        } else {
            testsupport::rawWrite(first, "<%$#Eva>oi\r\n");
            ASSERT_TRUE(waitUntil([&] { return dialogs == 2; }));
            EXPECT_EQ(session::askChatData().callerName, "Eva");
        }
        ::close(first);
        ::close(second);
        ASSERT_TRUE(waitUntil([&] { return beto->session() == net::wsClosed; }));
    }
}

// Computers that call again and again without ever inviting, at once after each end and
// every 50 ms besides, keep an honest caller that tries every half second out for no
// more than a few seconds.
TEST_F(ChatSessionTest, callersThatNeverInviteKeepNoOneOut) {
    std::vector<int> silent;
    QTimer caller;
    int round = 0;
    QObject::connect(&caller, &QTimer::timeout, [&] {
        for (int& fd : silent) {
            if (hearsTheEndNow(fd)) {
                ::close(fd);
                fd = call(*beto, "127.0.0.5", 0);
            }
        }
        if (++round % 5 == 0 && silent.size() < 40) silent.push_back(call(*beto, "127.0.0.7", 0));
    });
    silent.push_back(call(*beto, "127.0.0.5", 0));
    caller.start(10);
    spin(200);
    answer = Answer::Ignore;
    int attempts = 0;
    const bool served = waitUntil(
        [&] {
            const int honest = call(*beto, "127.0.0.6", 500);
            if (honest >= 0) testsupport::rawWrite(honest, "<%$#Carla>oi\r\n");
            ++attempts;
            waitUntil([&] { return dialogs > 0; }, 500);
            if (honest >= 0) ::close(honest);
            return dialogs > 0;
        },
        5000);
    caller.stop();
    EXPECT_TRUE(served) << attempts << " attempts";
    EXPECT_EQ(session::askChatData().callerName, "Carla");
    for (int fd : silent)
        ::close(fd);
}

// An invitation line followed by a reset, at once or as it comes across a link, after
// the line has been read: the caller is gone, and nobody is asked anything.
TEST_F(ChatSessionTest, anInvitationFromACallerThatResetShowsNoDialog) {
    for (const int resetAfterMs : {0, 20}) {
        const int fd = call(*beto);
        ASSERT_TRUE(waitUntil([&] { return beto->session() == net::wsConnected; }));
        testsupport::rawWrite(fd, "<%$#Eva>oi\r\n");
        spin(resetAfterMs); // the reset trails the line by the link's delay
        testsupport::rawReset(fd);
        ASSERT_TRUE(waitUntil([&] { return beto->session() == net::wsClosed; }));
    }
    spin(200);
    EXPECT_EQ(dialogs, 0);
}

// Many invitation lines in one packet, the caller gone while the first dialog is up: one
// dialog, and none for the lines that waited behind it.
TEST_F(ChatSessionTest, aPacketOfInvitationsShowsOneDialog) {
    const int fd = call(*beto);
    ASSERT_GE(fd, 0);
    beforeAnswer = [&] {
        ::close(fd);
        ASSERT_TRUE(waitUntil([&] { return beto->session() == net::wsClosed; }));
    };
    answer = Answer::Ignore;
    std::string packet;
    for (int i = 0; i < 20; ++i)
        packet += "<%$#Eva>oi\r\n";
    testsupport::rawWrite(fd, packet);
    ASSERT_TRUE(waitUntil([&] { return dialogs > 0; }));
    spin(200);
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(beto->chat(), nullptr);
}

namespace {
// This thread's processor time in milliseconds: what the program itself spent, whatever
// else the machine is doing.
double threadCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}
} // namespace

// A chat partner that sends without pause: the program keeps serving its timers and a
// second caller while the lines arrive, and the transcript keeps within its bound, also
// when the bytes come without a line feed.
TEST_F(ChatSessionTest, aFloodingPartnerNeverTakesTheProgramAway) {
    // What a raw peer hears until it has `count` bytes or the end, the program running.
    auto hears = [](int fd, std::size_t count) {
        std::string heard;
        waitUntil([&] {
            char buffer[256];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) heard.append(buffer, static_cast<std::size_t>(n));
            return heard.size() >= count || n == 0 || (n < 0 && errno != EAGAIN);
        });
        return heard;
    };
    const int partner = call(*beto);
    testsupport::rawWrite(partner, "<%$#Eva>\r\n");
    ASSERT_EQ(hears(partner, 21), "Status> Green Ligth\r\n");
    ASSERT_TRUE(waitUntil([&] { return beto->chat() && beto->connectedLook(); }));
    auto* shown = beto->chat()->findChild<QPlainTextEdit*>("memo1")->document();

    for (const bool lineFeeds : {true, false}) {
        std::string flood;
        if (lineFeeds) {
            for (int i = 0; i < 5000; ++i)
                flood += "<Eva>linha " + std::to_string(i) + "\r\n";
        } else {
            flood.assign(400 * 1024, 'x');
        }
        flood += "\r\n<Eva>fim\r\n";
        std::thread writer([&] { testsupport::rawWrite(partner, flood); });
        // The longest stretch of the program's own work between two turns of the loop.
        double lastCpu = threadCpuMs(), longestWork = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const double cpu = threadCpuMs();
            longestWork = std::max(longestWork, cpu - lastCpu);
            lastCpu = cpu;
        });
        ticker.start(1);
        if (lineFeeds) {
            spin(50);
            const int second = call(*beto);
            EXPECT_EQ(hears(second, 100), "Status> Ocupado! Tente mais tarde...\r\n");
            ::close(second);
        }
        EXPECT_TRUE(waitUntil([&] { return beto->lines().endsWith("<Eva> fim"); }, 120000));
        ticker.stop();
        writer.join();
        EXPECT_LT(longestWork, 250) << (lineFeeds ? "lines" : "no line feed");
        EXPECT_LE(shown->blockCount() - 1, chat::transcriptEntries);
        EXPECT_LE(shown->characterCount(), chat::transcriptCharacters);
    }
    ::close(partner);
}

// The messenger-service notice runs beside the event loop: its outcome comes when known,
// before the end of the connection is told; a second notice waits for the first, whose
// outcome no longer belongs to the new transcript; a window closed meanwhile is left alone.
TEST_F(ChatSessionTest, aNoticeRunsBesideTheEventLoopAndTellsItsOutcomeBeforeTheEnd) {
    ana->form->SettingsOwner.settings().WinPopUp = true;
    std::mutex mutex;
    std::vector<std::string> recipients;
    std::atomic<int> released{0}, running{0}, mostAtOnce{0};
    ana->form->NetMessages.setSender(
        [&](const std::string& to, const std::string&, std::stop_token stop) {
            const int now = ++running;
            if (now > mostAtOnce) mostAtOnce = now;
            int index;
            {
                std::lock_guard lock(mutex);
                index = static_cast<int>(recipients.size());
                recipients.push_back(to);
            }
            // Held until the test lets it go; on a frozen event loop that never happens.
            QElapsedTimer held;
            held.start();
            while (released <= index && !stop.stop_requested() && held.elapsed() < 10000)
                QThread::msleep(1);
            --running;
            return to == "127.0.0.5";
        });
    const QString refused5 =
        QString::fromUtf8("Status> O usuário (127.0.0.5), não esta disponível!");
    const QString sending =
        QString::fromUtf8("Status> Enviando convite ao chat através do serviço de mensagens...");
    const QString sent = QString::fromUtf8("Status> Seu convite foi enviado com êxito.");
    const QString failed = QString::fromUtf8("Status> Não foi possivel enviar seu convite.");

    ana->form->Invite("127.0.0.5");
    ASSERT_TRUE(
        waitUntil([&] { return ana->showsLine(sending) && ana->session() == net::wsClosed; }));
    spin(50);
    EXPECT_THAT(ana->lines(), ElementsAre("Status> Convidando (127.0.0.5) ao chat... (Aguarde)",
                                          refused5, sending));
    released = 1;
    ASSERT_TRUE(waitUntil([&] { return ana->showsLine("Status> Desconectado!"); }));
    EXPECT_THAT(ana->lines(), ElementsAre("Status> Convidando (127.0.0.5) ao chat... (Aguarde)",
                                          refused5, sending, sent, "Status> Desconectado!"));

    ana->form->Invite("127.0.0.5");
    ASSERT_TRUE(waitUntil([&] { return ana->showsLine(sending); }));
    ana->form->Invite("127.0.0.6");
    ASSERT_TRUE(
        waitUntil([&] { return ana->showsLine(sending) && ana->session() == net::wsClosed; }));
    released = 2; // the first notice's outcome, for a transcript that is gone
    ASSERT_TRUE(waitUntil([&] { return recipients.size() == 3; }));
    spin(50);
    EXPECT_FALSE(ana->showsLine(sent));
    released = 3;
    ASSERT_TRUE(waitUntil([&] { return ana->showsLine("Status> Desconectado!"); }));
    EXPECT_THAT(
        ana->lines(),
        ElementsAre("Status> Convidando (127.0.0.6) ao chat... (Aguarde)",
                    QString::fromUtf8("Status> O usuário (127.0.0.6), não esta disponível!"),
                    sending, failed, "Status> Desconectado!"));
    EXPECT_EQ(mostAtOnce, 1);

    ana->form->Invite("127.0.0.5");
    ASSERT_TRUE(waitUntil([&] { return ana->showsLine(sending); }));
    ana->chat()->close();
    ASSERT_TRUE(waitUntil([&] { return ana->chat() == nullptr; }));
    released = 4;
    ASSERT_TRUE(waitUntil([&] { return ana->form->NetMessages.idle(); }));
    EXPECT_EQ(recipients,
              (std::vector<std::string>{"127.0.0.5", "127.0.0.5", "127.0.0.6", "127.0.0.5"}));
    EXPECT_EQ(ana->chat(), nullptr);
}

namespace {
// The system's library, where the connections of chosen callers break before they are
// accepted: the system takes them off the queue and reports why.
class BreakingAccepts : public platform::PosixSocketLibrary {
public:
    static inline std::vector<int> errors;
    platform::SOCKET accept(platform::SOCKET s, sockaddr_in* address) override {
        const platform::SOCKET taken = PosixSocketLibrary::accept(s, address);
        if (taken == platform::INVALID_SOCKET || errors.empty()) return taken;
        closesocket(taken);
        WSASetLastError(errors.front());
        errors.erase(errors.begin());
        return platform::INVALID_SOCKET;
    }
};

class ChatSessionAcceptFaultTest : public ChatSessionTest {
protected:
    void SetUp() override {
        ASSERT_FALSE(net::socketLibraryLoaded());
        platform::setSocketLibraryLoader(
            [](const std::string&) { return std::make_unique<BreakingAccepts>(); });
        ChatSessionTest::SetUp();
    }
    void TearDown() override {
        ChatSessionTest::TearDown();
        platform::setSocketLibraryLoader(nullptr);
    }
};
} // namespace

TEST_F(ChatSessionAcceptFaultTest, failedAcceptsAreDroppedAndTheNextCallerIsServed) {
    BreakingAccepts::errors = {platform::WSAECONNABORTED, platform::WSAENETDOWN,
                               platform::WSAEMFILE};
    for (std::size_t i = 0, n = BreakingAccepts::errors.size(); i < n; ++i) {
        const int caller = call(*beto);
        EXPECT_TRUE(seesTheEnd(caller)) << i;
        ::close(caller);
    }
    EXPECT_TRUE(BreakingAccepts::errors.empty());
    EXPECT_EQ(beto->form->SrvSocket.State(), net::wsListening);
    startSession();
}

FALAVOX_TEST_MAIN(QApplication)
