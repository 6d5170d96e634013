// Line assembly and classification of a long stream of chat lines, against a plain memchr
// scan for line ends over the same bytes. Prints the rate ratio (goal: at least 0.5).
#include "session/LineAssembler.h"
#include "session/LineClassifier.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <iostream>
#include <map>
#include <random>
#include <string>

namespace {

constexpr std::size_t kStreamSize = 100u * 1024 * 1024;

// Chat lines as two people type them, with a status line now and then.
const std::string& stream() {
    static const std::string bytes = [] {
        std::string s;
        s.reserve(kStreamSize + 256);
        std::mt19937 random(2200);
        const char* names[] = {"ana", "BRUNO", "Carla", "joao.silva", "Maria Eduarda"};
        const std::string words =
            "oi tudo bem voce vai na reuniao amanha sim claro ate logo obrigado "
            "acho que o servidor caiu de novo vou verificar agora mesmo";
        while (s.size() < kStreamSize) {
            const unsigned pick = random() % 20;
            if (pick == 0) {
                s += "Status> Ocupado! Tente mais tarde...\r\n";
                continue;
            }
            s += '<';
            s += names[pick % 5];
            s += '>';
            const std::size_t length = 5 + random() % 110;
            const std::size_t from = random() % (words.size() - 1);
            for (std::size_t i = 0; i < length; ++i)
                s += words[(from + i) % words.size()];
            s += "\r\n";
        }
        return s;
    }();
    return bytes;
}

void BM_MemchrScan(benchmark::State& state) {
    const std::string& s = stream();
    for (auto _ : state) {
        std::size_t lines = 0;
        const char* p = s.data();
        const char* end = p + s.size();
        while (const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
            ++lines;
            p = static_cast<const char*>(lf) + 1;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.size()));
}

template <bool Classify> void assembleStream(benchmark::State& state) {
    const std::string& s = stream();
    for (auto _ : state) {
        std::size_t at = 0;
        std::size_t chatLines = 0;
        session::ClassifiedLine classified;
        session::LineAssembler assembler([&](std::string_view line) {
            if constexpr (Classify) {
                session::classifyLine(line, classified);
                chatLines += classified.kind == session::LineKind::Chat;
            } else {
                chatLines += line.size();
            }
        });
        // The socket's receive: as many bytes as asked for, like a busy connection.
        const session::LineAssembler::ReadFunction read = [&](char* buffer, int size) {
            const std::size_t n = std::min(static_cast<std::size_t>(size), s.size() - at);
            std::memcpy(buffer, s.data() + at, n);
            at += n;
            return static_cast<int>(n);
        };
        while (at < s.size())
            assembler.receive(read);
        benchmark::DoNotOptimize(chatLines);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.size()));
}

// Assembly alone, to tell its share from the classifier's.
void BM_AssembleOnly(benchmark::State& state) {
    assembleStream<false>(state);
}
void BM_AssembleAndClassify(benchmark::State& state) {
    assembleStream<true>(state);
}

// Several short runs each; the ratio takes the best CPU time of each, so that other work
// on a shared machine disturbs it least.
BENCHMARK(BM_MemchrScan)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_AssembleOnly)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_AssembleAndClassify)->Unit(benchmark::kMillisecond)->Repetitions(5);

class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            const double cpu = run.GetAdjustedCPUTime();
            auto [it, fresh] = seconds.emplace(run.run_name.function_name, cpu);
            if (!fresh && cpu < it->second) it->second = cpu;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    stream();
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double baseline = reporter.seconds["BM_MemchrScan"];
    const double assembly = reporter.seconds["BM_AssembleOnly"];
    const double ours = reporter.seconds["BM_AssembleAndClassify"];
    if (baseline > 0 && ours > 0 && assembly > 0) {
        std::cout << "assembly alone rate / memchr rate = " << baseline / assembly << "\n";
        std::cout << "assembly+classification rate / memchr rate = " << baseline / ours
                  << " (goal >= 0.5)\n";
    }
    benchmark::Shutdown();
    return 0;
}
