// Appending received chat lines to the transcript, the way the session shows a received
// line (hide the selection, the entry, finishing the entry), with the event loop running in
// between as it does between socket events. The transcript is never trimmed, so the cost
// of a line must not grow with its length. Two measures, each at 10,000 and 100,000 lines:
//  - the cost per line of a whole transcript of that many lines (goal: ratio <= 1.2);
//  - the cost of 2,000 more lines on a transcript that already holds that many.
// Run with QT_QPA_PLATFORM=offscreen.
#include "chat/FrmChat.h"
#include "net/EventSocket.h"

#include <QApplication>
#include <QDir>
#include <benchmark/benchmark.h>

#include <iostream>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr int kMeasuredLines = 2000;
// Lines handled per socket read: a full 1023-byte receive buffer holds about this many
// chat lines, and the window repaints between reads.
constexpr int kLinesPerRead = 15;

std::string message(int i) {
    return "mensagem numero " + std::to_string(i) + " com algum texto para ocupar a linha\r";
}

void appendLine(chat::TfrmChat& window, int i) {
    window.hideSelection();
    window.appendReceivedChatLine("Bob", message(i));
    window.finishEntry();
}

std::unique_ptr<chat::TfrmChat> openWindow(net::TEventSocket& socket) {
    auto window = std::make_unique<chat::TfrmChat>("Ana", socket, nullptr,
                                                   QDir::tempPath() + "/bench-chat.ini");
    window->show();
    window->connectedLook();
    return window;
}

// A whole transcript of range(0) lines.
void BM_WholeTranscript(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        net::TEventSocket socket;
        auto window = openWindow(socket);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        for (int i = 0; i < lines; ++i) {
            appendLine(*window, i);
            if (i % kLinesPerRead == 0) QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * lines);
}

// 2,000 lines more on a transcript of range(0) lines.
void BM_MoreLines(benchmark::State& state) {
    const int existing = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        net::TEventSocket socket;
        auto window = openWindow(socket);
        for (int i = 0; i < existing; ++i) {
            appendLine(*window, i);
            if (i % kLinesPerRead == 0) QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        state.ResumeTiming();
        for (int i = 0; i < kMeasuredLines; ++i) {
            appendLine(*window, existing + i);
            // Between reads the event loop runs, as it does between socket events.
            if (i % kLinesPerRead == 0) QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kMeasuredLines);
}

BENCHMARK(BM_WholeTranscript)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(2);
BENCHMARK(BM_MoreLines)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

class PerLineReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            const double count = run.run_name.function_name == "BM_MoreLines"
                                     ? kMeasuredLines
                                     : std::stod(run.run_name.args);
            const double perLine = run.GetAdjustedCPUTime() / count;
            auto [it, fresh] =
                best.emplace(run.run_name.function_name + "/" + run.run_name.args, perLine);
            if (!fresh && perLine < it->second) it->second = perLine;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> best;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    PerLineReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ratio = [&](const std::string& name) {
        const double small = reporter.best[name + "/10000"];
        const double large = reporter.best[name + "/100000"];
        return small > 0 ? large / small : 0.0;
    };
    std::cout << "cost per line, whole transcript of 100,000 lines / of 10,000 lines = "
              << ratio("BM_WholeTranscript") << " (goal <= 1.2)\n";
    std::cout << "cost per line of 2,000 more lines, at 100,000 / at 10,000 = "
              << ratio("BM_MoreLines") << "\n";
    benchmark::Shutdown();
    return 0;
}
