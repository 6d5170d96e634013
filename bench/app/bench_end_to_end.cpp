// Chat lines end to end through two copies of the program in one process: typed in one
// side's chat window (and shown there), sent, received, classified and shown in the other
// side's transcript. The baseline, measured in the same run, is a ping-pong
// of as many 40-byte lines over plain blocking sockets between two processes.
//
// Then the cost of showing one received line by itself, as the session does it (classify,
// four styled runs, caret and focus) in a chat window, against two baselines
// measured in the same rounds: a bare QPlainTextEdit::appendPlainText of the same text,
// and a QTextBrowser::append of the line as HTML, as chat programs commonly show lines.

#include "app/Frminicial.h"
#include "chat/FrmChat.h"
#include "chat/TranscriptBound.h"
#include "chat/TranscriptEntry.h"
#include "net/SocketLibrary.h"
#include "platform/sockets/PosixSockets.h"
#include "platform/system/Sound.h"
#include "session/AskChat.h"
#include "session/FrmAskchat.h"
#include "session/LineClassifier.h"
#include "session/ShowReceivedLine.h"
#include "tests/support/AnswerClock.h"
#include "tests/support/ProgramCopy.h"
#include "tests/support/RawPeer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <algorithm>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const int kLines = qEnvironmentVariableIsSet("FALAVOX_BENCH_LINES")
                       ? qEnvironmentVariableIntValue("FALAVOX_BENCH_LINES")
                       : 20000;
constexpr std::size_t kLineBytes = 40;

double rawSeconds = 0;
double programSeconds = 0;

// ----- baseline ---------------------------------------------------------------------------

bool exchange(int fd, char* line, bool first) {
    auto readAll = [&] {
        std::size_t got = 0;
        while (got < kLineBytes) {
            const ssize_t n = ::recv(fd, line + got, kLineBytes - got, 0);
            if (n <= 0) return false;
            got += static_cast<std::size_t>(n);
        }
        return true;
    };
    if (first)
        return ::send(fd, line, kLineBytes, MSG_NOSIGNAL) == static_cast<ssize_t>(kLineBytes) &&
               readAll();
    return readAll() &&
           ::send(fd, line, kLineBytes, MSG_NOSIGNAL) == static_cast<ssize_t>(kLineBytes);
}

double rawPingPong() {
    testsupport::RawListener listener;
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = testsupport::rawConnect(listener.port());
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        char line[kLineBytes];
        for (int i = 0; i < kLines && exchange(fd, line, false); ++i) {
        }
        ::_exit(0);
    }
    const int fd = listener.accept();
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    char line[kLineBytes];
    std::memset(line, 'x', sizeof line);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kLines; ++i)
        if (!exchange(fd, line, true)) return -1;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::close(fd);
    ::waitpid(child, nullptr, 0);
    return seconds;
}

// ----- the program ------------------------------------------------------------------------

class SilentPlayer : public platform::SoundPlayer {
public:
    void playSync(std::string_view) override {}
};

// Runs the event loop until `condition` holds; false when a minute passed first.
bool waitFor(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    return condition();
}

// The newest entry of a transcript, which keeps only its newest entries.
QString newestEntry(const QTextDocument& shown) {
    return shown.lastBlock().previous().text();
}

// Seconds, or -1 when the lines did not all arrive.
double programLines() {
    SilentPlayer silent;
    session::askchat::setSoundPlayer(&silent);
    testsupport::AnswerClock answerClock;
    session::askchat::setShownHook([&answerClock](session::TfrmAskchat& d) {
        answerClock.settle();
        d.btnAceitarClick();
    });
    const std::string port = std::to_string(testsupport::freeLoopbackPort("127.0.0.2"));
    testsupport::ProgramCopy anaCopy("127.0.0.2", port, "Ana");
    testsupport::ProgramCopy betoCopy("127.0.0.3", port, "Beto");
    app::Tfrminicial& ana = *anaCopy.form;
    app::Tfrminicial& beto = *betoCopy.form;
    ana.Invite(betoCopy.address);
    if (!waitFor([&] {
            return beto.frmChat && ana.frmChat && ana.CliSocket.State() == net::wsConnected &&
                   ana.frmChat->findChild<QLineEdit*>("mmomensagem")->isEnabled();
        }))
        return -1;
    if (qEnvironmentVariableIsSet("NODELAY")) {
        auto& lib = static_cast<platform::PosixSocketLibrary&>(net::socketLibrary());
        const int one = 1;
        for (auto* s : {&ana.CliSocket, &beto.CliSocket})
            ::setsockopt(lib.descriptorOf(s->Handle()), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    auto* input = ana.frmChat->findChild<QLineEdit*>("mmomensagem");
    QTextDocument* shown = beto.frmChat->findChild<QPlainTextEdit*>("memo1")->document();
    const QString text =
        QString(static_cast<int>(kLineBytes) - 9, QLatin1Char('m')); // "<Ana>" + CR LF
    // The last line, as long as the others, ends differently: the transcript keeps only
    // its newest entries, so the count of its entries cannot tell when all have arrived.
    const QString last = text.chopped(3) + QStringLiteral("fim");
    QElapsedTimer timer;
    timer.start();
    // Typed one after the other as fast as the window takes them; the other side shows
    // them as they arrive, and painting keeps up as the event loop finds time for it.
    for (int i = 1; i <= kLines; ++i) {
        input->setText(i == kLines ? last : text);
        QTest::keyClick(input, Qt::Key_Return);
        if (i % 100 == 0) QCoreApplication::processEvents();
    }
    const bool arrived = waitFor([&] { return newestEntry(*shown).endsWith(last); });
    const double seconds = arrived ? static_cast<double>(timer.nsecsElapsed()) / 1e9 : -1;
    session::askchat::setShownHook(nullptr);
    session::askchat::setSoundPlayer(nullptr);
    return seconds;
}

void BM_RawPingPong(benchmark::State& state) {
    for (auto _ : state) {
        const double seconds = rawPingPong();
        state.SetIterationTime(seconds);
        if (rawSeconds == 0 || seconds < rawSeconds) rawSeconds = seconds;
    }
}

void BM_ProgramChatLines(benchmark::State& state) {
    for (auto _ : state) {
        const double seconds = programLines();
        if (seconds < 0) {
            state.SkipWithError("the other side did not show all the chat lines");
            return;
        }
        state.SetIterationTime(seconds);
        if (programSeconds == 0 || seconds < programSeconds) programSeconds = seconds;
    }
    state.counters["lines_per_second"] = kLines / programSeconds;
}

// ----- showing a received line -----------------------------------------------------------

const int kShownLines = qEnvironmentVariableIsSet("FALAVOX_BENCH_SHOWN")
                            ? qEnvironmentVariableIntValue("FALAVOX_BENCH_SHOWN")
                            : 5000;
const std::string kReceived = "<ana>" + std::string(kLineBytes - 7, 'm') + "\r";

struct ShownSeconds {
    double program = 0;
    double plain = 0;
    double browser = 0;
} shownBest;

// Shows the lines in `view`, letting the event loop lay out and paint every hundred, as
// lines arriving from the network would; the time includes the last paint.
template <class AppendOne> double timeShowing(QWidget& view, AppendOne appendOne) {
    view.resize(527, 417);
    view.show();
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    for (int i = 1; i <= kShownLines; ++i) {
        appendOne();
        if (i % 100 == 0) QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double programShowing() {
    net::TEventSocket unused;
    auto* window = new chat::TfrmChat("Beto", unused, nullptr, QStringLiteral("/dev/null"));
    const double seconds = timeShowing(*window, [&] {
        window->hideSelection();
        session::showReceivedLine(*window, session::classifyLine(kReceived));
    });
    // A handler that showed nothing would look fast. The transcript keeps its newest
    // entries only.
    const QTextDocument& shown = *window->findChild<QPlainTextEdit*>("memo1")->document();
    const bool all = shown.blockCount() - 1 == std::min(kShownLines, chat::transcriptEntries) &&
                     newestEntry(shown).endsWith(QString::fromLatin1(kReceived.substr(5, 20)));
    delete window;
    return all ? seconds : -1;
}

// What the chat window shows for the line: "<Ana " + time stamp + "> " + message.
QString shownText(const QString& stamp) {
    return QStringLiteral("<Ana ") + stamp + QStringLiteral("> ") +
           QString::fromLatin1(kReceived.substr(5, kReceived.size() - 6));
}

double plainShowing() {
    QPlainTextEdit edit;
    edit.setReadOnly(true);
    const QString stamp = chat::timeStamp();
    return timeShowing(edit, [&] { edit.appendPlainText(shownText(stamp)); });
}

double browserShowing() {
    QTextBrowser browser;
    const QString stamp = chat::timeStamp();
    const QString message = QString::fromLatin1(kReceived.substr(5, kReceived.size() - 6));
    return timeShowing(browser, [&] {
        browser.append(QStringLiteral("&lt;<font color=\"#008080\">Ana </font>"
                                      "<font color=\"#808080\" size=\"1\">") +
                       stamp.toHtmlEscaped() + QStringLiteral("</font>&gt; ") +
                       message.toHtmlEscaped());
    });
}

void keepBest(double& best, double seconds) {
    if (best == 0 || seconds < best) best = seconds;
}

// The three sides take turns in every round, so that a busy machine weighs on each alike.
void BM_ShowReceivedLine(benchmark::State& state) {
    for (auto _ : state) {
        const double program = programShowing();
        if (program < 0) {
            state.SkipWithError("the chat window did not show the received lines");
            return;
        }
        keepBest(shownBest.program, program);
        keepBest(shownBest.plain, plainShowing());
        keepBest(shownBest.browser, browserShowing());
        state.SetIterationTime(program);
    }
    state.counters["program_us_a_line"] = shownBest.program / kShownLines * 1e6;
    state.counters["plain_us_a_line"] = shownBest.plain / kShownLines * 1e6;
    state.counters["browser_us_a_line"] = shownBest.browser / kShownLines * 1e6;
}

BENCHMARK(BM_RawPingPong)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramChatLines)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowReceivedLine)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (programSeconds > 0) {
        std::printf("\nchat lines end to end: %.0f lines per second (%.1f us a line)\n",
                    kLines / programSeconds, programSeconds / kLines * 1e6);
        std::printf("raw ping-pong: %.1f us a round trip\n", rawSeconds / kLines * 1e6);
        std::printf("program / raw: %.2f; the program's own work / raw: %.2f (goal <= 2)\n",
                    programSeconds / rawSeconds, (programSeconds - rawSeconds) / rawSeconds);
    }
    if (shownBest.program > 0) {
        std::printf("\nshowing a received line (%d lines): program %.1f us, bare "
                    "QPlainTextEdit::appendPlainText %.1f us, QTextBrowser::append as HTML "
                    "%.1f us\n",
                    kShownLines, shownBest.program / kShownLines * 1e6,
                    shownBest.plain / kShownLines * 1e6, shownBest.browser / kShownLines * 1e6);
        std::printf("program / appendPlainText: %.2f; program / QTextBrowser::append: %.2f\n",
                    shownBest.program / shownBest.plain, shownBest.program / shownBest.browser);
    }
    return 0;
}
