// A chat partner that floods: one copy of the program in this process, in a session with a
// peer in a child process that, once accepted, sends as fast as the connection takes it
// either many short chat lines or a long run of bytes without a line feed. Measured on the
// program's side while the flood arrives: the longest time the event loop goes without
// serving a 1 ms timer, how long a second caller waits for the busy line, how long the
// flood takes to be read, and the memory the process holds before, after the flood and
// after the chat window has been closed. Two baselines, measured in the same run: the same
// flood drained by a plain blocking reader, and shown by the toolkit's own batched reader (a
// QTcpSocket whose lines of each turn go into a QPlainTextEdit in one edit, keeping as many
// entries as the transcript). The program and the toolkit's reader take turns.
//
// Goals: shown within 2x the toolkit's reader's time, the longest gap under 50 ms, the busy
// line within 100 ms, and memory after any flood within the transcript's bound.

#include "app/Frminicial.h"
#include "chat/FrmChat.h"
#include "chat/TranscriptBound.h"
#include "platform/system/Sound.h"
#include "session/AskChat.h"
#include "session/FrmAskchat.h"
#include "session/LineAssembler.h"
#include "tests/support/AnswerClock.h"
#include "tests/support/ProgramCopy.h"
#include "tests/support/RawPeer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

const int kLines = qEnvironmentVariableIsSet("FALAVOX_BENCH_FLOOD_LINES")
                       ? qEnvironmentVariableIntValue("FALAVOX_BENCH_FLOOD_LINES")
                       : 100000;
const int kMegabytes = qEnvironmentVariableIsSet("FALAVOX_BENCH_FLOOD_MB")
                           ? qEnvironmentVariableIntValue("FALAVOX_BENCH_FLOOD_MB")
                           : 50;

enum class Flood { Lines, NoLineFeed };

// The flood's bytes are sent in pieces of this size; the last line marks its end.
constexpr std::size_t kPiece = 1 << 20;
const std::string kLastLine = "<Ana>fim\r\n";

void sendFlood(int fd, Flood flood) {
    if (flood == Flood::Lines) {
        std::string bytes;
        for (int i = 0; i < kLines; ++i)
            bytes += "<Ana>linha " + std::to_string(i) + "\r\n";
        testsupport::rawWrite(fd, bytes);
        testsupport::rawWrite(fd, kLastLine);
        return;
    }
    const std::string piece(kPiece, 'x');
    for (int i = 0; i < kMegabytes; ++i)
        testsupport::rawWrite(fd, piece);
    testsupport::rawWrite(fd, "\r\n" + kLastLine);
}

double residentMegabytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6;
}

int connectTo(const std::string& address, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = ::inet_addr(address.c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// ----- baseline ---------------------------------------------------------------------------

double rawDrain(Flood flood) {
    testsupport::RawListener listener;
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = testsupport::rawConnect(listener.port());
        sendFlood(fd, flood);
        ::close(fd);
        ::_exit(0);
    }
    const int fd = listener.accept();
    const auto start = Clock::now();
    bool closed = false;
    testsupport::rawReadUntilClosed(fd, closed, 60000);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(fd);
    ::waitpid(child, nullptr, 0);
    return closed ? seconds : -1;
}

// ----- the program ------------------------------------------------------------------------

class SilentPlayer : public platform::SoundPlayer {
public:
    void playSync(std::string_view) override {}
};

// This thread's processor time: unlike the clock, it does not count the time the
// system gave to other processes, which on a busy machine can dwarf the program's own.
double threadCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Figures {
    double seconds = 0; // from the acceptance to the last line shown
    double longestGapMs = 0;
    double longestWorkMs = 0; // the most processor time spent between two ticks
    double busyLineMs = -1;   // -1: the busy line never came
    double rssBefore = 0;
    double rssAfterFlood = 0;
    double rssAfterClose = 0;
    int blocks = 0; // entries the transcript holds at the end
};

bool lastLineShown(const QPlainTextEdit& memo) {
    const QTextBlock last = memo.document()->lastBlock();
    for (QTextBlock b = last; b.isValid() && b.blockNumber() + 2 >= last.blockNumber();
         b = b.previous())
        if (b.text().endsWith(QStringLiteral("> fim"))) return true;
    return false;
}

bool until(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return condition();
}

// The event loop's gaps, seen by a timer that asks to run every millisecond, and the most
// processor time of this thread between two of its ticks.
class GapWatch {
public:
    GapWatch() {
        ticker_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            const double cpu = threadCpuMs();
            longestMs = std::max(
                longestMs, std::chrono::duration<double, std::milli>(now - lastTick_).count());
            longestWorkMs = std::max(longestWorkMs, cpu - lastCpu_);
            if (qEnvironmentVariableIsSet("FALAVOX_BENCH_SHOW_WORK") && cpu - lastCpu_ > 20)
                std::fprintf(stderr, "work %.1f ms at %.0f ms\n", cpu - lastCpu_,
                             std::chrono::duration<double, std::milli>(now - start_).count());
            lastTick_ = now;
            lastCpu_ = cpu;
        });
    }
    void start() {
        start_ = lastTick_ = Clock::now();
        lastCpu_ = threadCpuMs();
        ticker_.start(1);
    }
    void stop() { ticker_.stop(); }
    double longestMs = 0, longestWorkMs = 0;

private:
    QTimer ticker_;
    Clock::time_point start_, lastTick_;
    double lastCpu_ = 0;
};

// The partner in a child process: connects, invites when `invite`, sends the flood once
// accepted, and stays until the reader has closed.
pid_t startPartner(const std::string& address, std::uint16_t port, Flood flood, bool invite) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    const int fd = connectTo(address, port);
    if (fd < 0) ::_exit(1);
    if (invite) {
        testsupport::rawWrite(fd, "<%$#Ana>\r\n");
        const std::string answer = testsupport::rawRead(fd, 21, 10000);
        if (answer != "Status> Green Ligth\r\n") ::_exit(2);
    }
    sendFlood(fd, flood);
    bool closed = false;
    testsupport::rawReadUntilClosed(fd, closed, 120000);
    ::_exit(0);
}

Figures programFlood(Flood flood) {
    Figures figures;
    SilentPlayer silent;
    session::askchat::setSoundPlayer(&silent);
    testsupport::AnswerClock answerClock;
    session::askchat::setShownHook([&answerClock](session::TfrmAskchat& d) {
        answerClock.settle();
        d.btnAceitarClick();
    });
    const std::uint16_t port = testsupport::freeLoopbackPort("127.0.0.3");
    auto beto =
        std::make_unique<testsupport::ProgramCopy>("127.0.0.3", std::to_string(port), "Beto");
    QCoreApplication::processEvents();
    figures.rssBefore = residentMegabytes();

    const pid_t child = startPartner("127.0.0.3", port, flood, true);
    GapWatch gaps;
    if (!until([&] { return beto->chat() && beto->connectedLook(); }, 10000)) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return figures;
    }
    auto* memo = beto->chat()->findChild<QPlainTextEdit*>(QStringLiteral("memo1"));
    const auto start = Clock::now();
    gaps.start();

    // A second caller, once the flood is under way: how long until it hears the busy line.
    std::atomic<double> busyMs{-1};
    std::thread caller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        const auto called = Clock::now();
        const int fd = connectTo("127.0.0.3", port);
        if (fd < 0) return;
        const std::string heard = testsupport::rawRead(fd, 38, 60000);
        if (heard == "Status> Ocupado! Tente mais tarde...\r\n")
            busyMs = std::chrono::duration<double, std::milli>(Clock::now() - called).count();
        ::close(fd);
    });

    until([&] { return lastLineShown(*memo); }, 300000);
    figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    gaps.stop();
    caller.join();
    figures.longestGapMs = gaps.longestMs;
    figures.longestWorkMs = gaps.longestWorkMs;
    figures.busyLineMs = busyMs;
    figures.blocks = memo->document()->blockCount();
    figures.rssAfterFlood = residentMegabytes();

    // The partner leaves and the window is closed.
    beto->chat()->close();
    ::waitpid(child, nullptr, 0);
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    figures.rssAfterClose = residentMegabytes();
    beto.reset();
    session::askchat::setShownHook(nullptr);
    session::askchat::setSoundPlayer(nullptr);
    return figures;
}

// ----- the toolkit's batched reader -------------------------------------------------------

constexpr qint64 kReadBuffer = 64 * 1024;

// Reads with QTcpSocket and, on every readyRead, cuts what came into lines as the program
// does (at LF, a trailing CR dropped, a buffer's worth without an LF as a line of its own)
// and appends that turn's lines to a QPlainTextEdit in one edit, then moves the caret to
// the end. It keeps as many entries as the program's transcript.
Figures toolkitFlood(Flood flood) {
    Figures figures;
    QTcpServer server;
    if (!server.listen(QHostAddress(QStringLiteral("127.0.0.3")), 0)) return figures;
    QPlainTextEdit edit;
    edit.setReadOnly(true);
    edit.setMaximumBlockCount(chat::transcriptEntries + 1);
    edit.resize(400, 300);
    edit.show();
    QCoreApplication::processEvents();
    figures.rssBefore = residentMegabytes();

    const pid_t child = startPartner("127.0.0.3", server.serverPort(), flood, false);
    if (!until([&] { return server.hasPendingConnections(); }, 10000)) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return figures;
    }
    QTcpSocket* socket = server.nextPendingConnection();
    // Each turn takes what one read brings, as the program does, instead of everything
    // that has arrived by then.
    socket->setReadBufferSize(kReadBuffer);
    QByteArray pending;
    bool lastShown = false;
    QObject::connect(socket, &QTcpSocket::readyRead, [&] {
        pending += socket->readAll();
        QString lines;
        qsizetype begin = 0;
        for (;;) {
            const qsizetype lf = pending.indexOf('\n', begin);
            qsizetype end = lf;
            if (lf < 0 || lf - begin > qsizetype(session::LineAssembler::capacity)) {
                if (pending.size() - begin < qsizetype(session::LineAssembler::capacity)) break;
                end = begin + qsizetype(session::LineAssembler::capacity);
            }
            QByteArrayView line(pending.constData() + begin, end - begin);
            if (line.endsWith('\r')) line.chop(1);
            lines += QString::fromLatin1(line);
            lines += QLatin1Char('\n');
            if (line.endsWith("fim")) lastShown = true;
            begin = end == lf ? lf + 1 : end;
        }
        pending.remove(0, begin);
        if (lines.isEmpty()) return;
        QTextCursor cursor(edit.document());
        cursor.beginEditBlock();
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(lines);
        cursor.endEditBlock();
        edit.moveCursor(QTextCursor::End);
    });
    GapWatch gaps;
    const auto start = Clock::now();
    gaps.start();
    Q_EMIT socket->readyRead();
    until([&] { return lastShown; }, 300000);
    QCoreApplication::processEvents();
    figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    gaps.stop();
    figures.longestGapMs = gaps.longestMs;
    figures.longestWorkMs = gaps.longestWorkMs;
    figures.blocks = edit.document()->blockCount();
    figures.rssAfterFlood = residentMegabytes();
    socket->close();
    ::waitpid(child, nullptr, 0);
    return figures;
}

double rawLines = 0, rawNoLineFeed = 0;
Figures lines, noLineFeed, toolkitLines, toolkitNoLineFeed;
double idleGapMs = 0;
const int kRounds = qEnvironmentVariableIsSet("FALAVOX_BENCH_FLOOD_ROUNDS")
                        ? qEnvironmentVariableIntValue("FALAVOX_BENCH_FLOOD_ROUNDS")
                        : 3;

// The same ticker with nothing else to do: what the machine's scheduling alone costs.
void BM_IdleGap(benchmark::State& state) {
    for (auto _ : state) {
        GapWatch gaps;
        gaps.start();
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        gaps.stop();
        idleGapMs = gaps.longestMs;
        state.SetIterationTime(3);
    }
    state.counters["longest_gap_ms"] = idleGapMs;
}

void BM_RawDrain(benchmark::State& state) {
    for (auto _ : state) {
        rawLines = rawDrain(Flood::Lines);
        rawNoLineFeed = rawDrain(Flood::NoLineFeed);
        state.SetIterationTime(rawLines + rawNoLineFeed);
    }
}

void report(benchmark::State& state, const Figures& f) {
    state.counters["longest_gap_ms"] = f.longestGapMs;
    state.counters["longest_work_ms"] = f.longestWorkMs;
    state.counters["busy_line_ms"] = f.busyLineMs;
    state.counters["rss_after_flood_mb"] = f.rssAfterFlood;
    state.counters["rss_after_close_mb"] = f.rssAfterClose;
}

// Of the rounds, the one with the median time; a run that never finished counts as the
// slowest.
Figures median(std::vector<Figures> runs) {
    std::sort(runs.begin(), runs.end(), [](const Figures& a, const Figures& b) {
        const double x = a.seconds > 0 ? a.seconds : 1e9, y = b.seconds > 0 ? b.seconds : 1e9;
        return x < y;
    });
    return runs[runs.size() / 2];
}

// The program and the toolkit's reader take turns, so that a busy machine weighs on both.
void flood(benchmark::State& state, Flood kind, Figures& program, Figures& toolkit) {
    for (auto _ : state) {
        std::vector<Figures> programs, toolkits;
        for (int round = 0; round < std::max(1, kRounds); ++round) {
            programs.push_back(programFlood(kind));
            toolkits.push_back(toolkitFlood(kind));
        }
        program = median(programs);
        toolkit = median(toolkits);
        // Memory as the first round saw it: later rounds start with what the earlier ones
        // left to the process's allocator.
        for (auto [shown, first] :
             {std::pair{&program, &programs.front()}, std::pair{&toolkit, &toolkits.front()}}) {
            shown->rssBefore = first->rssBefore;
            shown->rssAfterFlood = first->rssAfterFlood;
            shown->rssAfterClose = first->rssAfterClose;
        }
        state.SetIterationTime(program.seconds);
    }
    report(state, program);
    if (toolkit.seconds > 0)
        state.counters["program_to_toolkit"] = program.seconds / toolkit.seconds;
}

void BM_FloodOfLines(benchmark::State& state) {
    flood(state, Flood::Lines, lines, toolkitLines);
}

void BM_FloodWithoutLineFeed(benchmark::State& state) {
    flood(state, Flood::NoLineFeed, noLineFeed, toolkitNoLineFeed);
}

BENCHMARK(BM_IdleGap)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawDrain)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloodOfLines)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloodWithoutLineFeed)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void print(const std::string& what, const Figures& f, const Figures& toolkit, double raw) {
    std::printf("\n%s: shown in %.2f s, the toolkit's batched reader %.2f s: ratio %.2f (goal "
                "<= 2); plain reader %.3f s\n",
                what.c_str(), f.seconds, toolkit.seconds,
                toolkit.seconds > 0 ? f.seconds / toolkit.seconds : 0.0, raw);
    std::printf("  longest event-loop gap %.1f ms (goal < 50), of which the program's own work "
                "%.1f ms (toolkit's reader: %.1f ms, %.1f ms); busy line after %.1f ms "
                "(goal < 100)\n",
                f.longestGapMs, f.longestWorkMs, toolkit.longestGapMs, toolkit.longestWorkMs,
                f.busyLineMs);
    std::printf("  memory (first round): %.0f MB before, %.0f MB after the flood, %.0f MB after "
                "the window closed; the transcript held %d entries (toolkit's reader: %.0f MB "
                "before, %.0f MB after, %d entries)\n",
                f.rssBefore, f.rssAfterFlood, f.rssAfterClose, f.blocks, toolkit.rssBefore,
                toolkit.rssAfterFlood, toolkit.blocks);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nlongest event-loop gap with nothing to do: %.1f ms\n", idleGapMs);
    std::printf("median of %d alternating rounds\n", std::max(1, kRounds));
    if (lines.seconds > 0)
        print(QLocale(QLocale::English).toString(kLines).toStdString() + " short lines", lines,
              toolkitLines, rawLines);
    if (noLineFeed.seconds > 0)
        print(std::to_string(kMegabytes) + " MB without a line feed", noLineFeed, toolkitNoLineFeed,
              rawNoLineFeed);
    return 0;
}
