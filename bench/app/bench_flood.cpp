// A chat partner that floods: one copy of the program in this process, in a session with a
// peer in a child process that, once accepted, sends as fast as the connection takes it
// either many short chat lines or a long run of bytes without a line feed. Measured on the
// program's side while the flood arrives: the longest time the event loop goes without
// serving a 1 ms timer, how long a second caller waits for the busy line, how long the
// flood takes to be read, and the memory the process holds before, after the flood and
// after the chat window has been closed. The baseline, measured in the same run, is the
// same flood drained by a plain blocking reader.
//
// Goals: the longest gap under 50 ms, the busy line within 100 ms, and memory after any
// flood within the transcript's bound.

#include "app/Frminicial.h"
#include "chat/FrmChat.h"
#include "platform/system/Sound.h"
#include "session/AskChat.h"
#include "session/FrmAskchat.h"
#include "tests/support/AnswerClock.h"
#include "tests/support/ProgramCopy.h"
#include "tests/support/RawPeer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QPlainTextEdit>
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

    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = connectTo("127.0.0.3", port);
        if (fd < 0) ::_exit(1);
        testsupport::rawWrite(fd, "<%$#Ana>\r\n");
        const std::string answer = testsupport::rawRead(fd, 21, 10000);
        if (answer != "Status> Green Ligth\r\n") ::_exit(2);
        sendFlood(fd, flood);
        // The partner stays until the program has read everything, then leaves.
        bool closed = false;
        testsupport::rawReadUntilClosed(fd, closed, 120000);
        ::_exit(0);
    }

    // The event loop's gaps, seen by a timer that asks to run every millisecond.
    Clock::time_point lastTick = Clock::now();
    Clock::time_point floodStart = lastTick;
    double lastCpu = threadCpuMs();
    double longest = 0, longestWork = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        const double cpu = threadCpuMs();
        longest =
            std::max(longest, std::chrono::duration<double, std::milli>(now - lastTick).count());
        longestWork = std::max(longestWork, cpu - lastCpu);
        if (qEnvironmentVariableIsSet("FALAVOX_BENCH_SHOW_WORK") && cpu - lastCpu > 20)
            std::fprintf(stderr, "work %.1f ms at %.0f ms\n", cpu - lastCpu,
                         std::chrono::duration<double, std::milli>(now - floodStart).count());
        lastTick = now;
        lastCpu = cpu;
    });

    auto until = [](const std::function<bool()>& condition, int timeoutMs) {
        QElapsedTimer timer;
        timer.start();
        while (!condition() && timer.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return condition();
    };
    if (!until([&] { return beto->chat() && beto->connectedLook(); }, 10000)) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return figures;
    }
    auto* memo = beto->chat()->findChild<QPlainTextEdit*>(QStringLiteral("memo1"));
    const auto start = Clock::now();
    lastTick = start;
    floodStart = start;
    lastCpu = threadCpuMs();
    ticker.start(1);

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
    ticker.stop();
    caller.join();
    figures.longestGapMs = longest;
    figures.longestWorkMs = longestWork;
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

double rawLines = 0, rawNoLineFeed = 0;
Figures lines, noLineFeed;
double idleGapMs = 0;

// The same ticker with nothing else to do: what the machine's scheduling alone costs.
void BM_IdleGap(benchmark::State& state) {
    for (auto _ : state) {
        Clock::time_point lastTick = Clock::now();
        double longest = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            longest = std::max(longest,
                               std::chrono::duration<double, std::milli>(now - lastTick).count());
            lastTick = now;
        });
        ticker.start(1);
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        idleGapMs = longest;
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

void BM_ProgramFloodOfLines(benchmark::State& state) {
    for (auto _ : state) {
        lines = programFlood(Flood::Lines);
        state.SetIterationTime(lines.seconds);
    }
    report(state, lines);
}

void BM_ProgramFloodWithoutLineFeed(benchmark::State& state) {
    for (auto _ : state) {
        noLineFeed = programFlood(Flood::NoLineFeed);
        state.SetIterationTime(noLineFeed.seconds);
    }
    report(state, noLineFeed);
}

BENCHMARK(BM_IdleGap)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawDrain)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramFloodOfLines)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramFloodWithoutLineFeed)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void print(const std::string& what, const Figures& f, double raw) {
    std::printf("\n%s: read in %.2f s (plain reader %.3f s); longest event-loop gap %.1f ms "
                "(goal < 50), of which the program's own work %.1f ms; busy line after %.1f ms "
                "(goal < 100)\n",
                what.c_str(), f.seconds, raw, f.longestGapMs, f.longestWorkMs, f.busyLineMs);
    std::printf("  memory: %.0f MB before, %.0f MB after the flood, %.0f MB after the window "
                "closed; the transcript held %d entries\n",
                f.rssBefore, f.rssAfterFlood, f.rssAfterClose, f.blocks);
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
    if (lines.seconds > 0)
        print(QLocale(QLocale::English).toString(kLines).toStdString() + " short lines", lines,
              rawLines);
    if (noLineFeed.seconds > 0)
        print(std::to_string(kMegabytes) + " MB without a line feed", noLineFeed, rawNoLineFeed);
    return 0;
}
