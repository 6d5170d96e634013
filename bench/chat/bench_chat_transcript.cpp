// Appending received chat lines to the transcript, the way the session shows them (hide the
// selection, the entry, finishing the entry), with the event loop running between turns as
// it does between socket events. Two kinds of turn:
//  - single lines: every line arrives in a turn of its own, as in an ordinary chat;
//  - bursts: a turn brings many lines at once (a pasted log, a flooding partner), which the
//    window gathers and writes in one step.
// Single lines at 5,000 and 20,000 lines (each turn also paints the window, so they cost far
// more than a line of a burst), bursts at 10,000 and 100,000. The transcript keeps its
// newest entries only, so the cost of a line must not grow with the number of lines (goal:
// ratio <= 1.2), and a line of a burst should cost a fraction of a single line.
// Run with QT_QPA_PLATFORM=offscreen.
#include "chat/FrmChat.h"
#include "net/EventSocket.h"

#include <QApplication>
#include <QDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>

namespace {

// Lines of one burst: about what one turn of the event loop reads from a flooding partner.
constexpr int kBurst = 200;

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

// range(0) lines, range(1) of them a turn.
void BM_Transcript(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    const int perTurn = static_cast<int>(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        net::TEventSocket socket;
        auto window = openWindow(socket);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        for (int i = 0; i < lines; i += perTurn) {
            if (perTurn > 1) window->gatherThisTurn();
            for (int j = i; j < std::min(lines, i + perTurn); ++j)
                appendLine(*window, j);
            QCoreApplication::processEvents();
        }
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * lines);
}

BENCHMARK(BM_Transcript)
    ->Args({5000, 1})
    ->Args({20000, 1})
    ->Args({10000, kBurst})
    ->Args({100000, kBurst})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(2);

// The best cost per line (microseconds) of each (lines, lines a turn).
class PerLineReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            int lines = 0, perTurn = 0;
            if (std::sscanf(run.run_name.args.c_str(), "%d/%d", &lines, &perTurn) != 2) continue;
            const double perLine = run.GetAdjustedRealTime() * 1e3 / lines;
            auto [it, fresh] = best.emplace(std::pair(lines, perTurn), perLine);
            if (!fresh && perLine < it->second) it->second = perLine;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::pair<int, int>, double> best;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    PerLineReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& best = reporter.best;
    const struct {
        const char* what;
        int small, large, perTurn;
    } kinds[] = {{"single lines", 5000, 20000, 1}, {"bursts of 200 lines", 10000, 100000, kBurst}};
    for (const auto& k : kinds) {
        const double small = best[{k.small, k.perTurn}], large = best[{k.large, k.perTurn}];
        std::printf("%s: %.1f us a line at %d lines, %.1f us at %d; ratio %.2f (goal <= 1.2)\n",
                    k.what, small, k.small, large, k.large, small > 0 ? large / small : 0.0);
    }
    const double single = best[{20000, 1}], burst = best[{100000, kBurst}];
    if (single > 0) std::printf("a line of a burst / a single line: %.3f\n", burst / single);
    benchmark::Shutdown();
    return 0;
}
