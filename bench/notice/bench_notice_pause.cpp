// The longest pause of the user-interface thread's event loop while one messenger-service
// notice goes to RECIPIENT, a computer whose SMB ports drop every packet (so Samba's client
// waits until it is given up). Two ways of sending it, measured in the same run:
// - on the work pool, as the program sends notices;
// - on the user-interface thread itself, the old way: the loop stands still meanwhile;
// - no notice at all for as long as one takes: the pauses that the machine's own load
//   gives any event loop, the floor of the first figure.
//
//   bench_notice_pause RECIPIENT [ROUNDS]
//
// Run through notice_pause.sh, which makes such a computer in a network namespace.
#include "notice/NTLib.h"
#include "notice/NetMessageQueue.h"
#include "work/WorkPool.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

namespace {

// Runs `send` with a 1 ms timer ticking and returns the longest gap between its ticks, in
// milliseconds, from the start until `send` has reported through the callback it gets.
qint64 longestPause(const std::function<void(std::function<void()>)>& send) {
    QEventLoop loop;
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceTick.restart()); });
    bool done = false;
    sinceTick.start();
    ticker.start(1);
    QTimer::singleShot(0, &loop, [&] {
        send([&] {
            done = true;
            loop.quit();
        });
    });
    if (!done) loop.exec();
    return std::max(longest, sinceTick.elapsed());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s RECIPIENT [ROUNDS]\n", argv[0]);
        return 2;
    }
    const std::string recipient = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::string text = "Convite ao chat: ";
    notice::NetMessageQueue queue(work::WorkPool::shared());

    qint64 onPool = 0, onLoop = 0, idle = 0;
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        const auto onThePool = [&](std::function<void()> done) {
            queue.send(recipient, text, [&failures, done](bool delivered) {
                failures += delivered ? 0 : 1;
                done();
            });
        };
        const auto onTheLoop = [&](std::function<void()> done) {
            failures += notice::SendNetMessage(recipient, text) ? 0 : 1;
            done();
        };
        QElapsedTimer took;
        took.start();
        onPool = std::max(onPool, longestPause(onThePool));
        const int length = static_cast<int>(took.elapsed());
        onLoop = std::max(onLoop, longestPause(onTheLoop));
        idle = std::max(idle, longestPause([length](std::function<void()> done) {
                            QTimer::singleShot(length, std::move(done));
                        }));
    }
    std::printf("longest event-loop pause while a notice goes to a computer whose SMB ports "
                "drop packets (worst of %d rounds):\n",
                rounds);
    std::printf("  notice on the work pool:               %lld ms\n",
                static_cast<long long>(onPool));
    std::printf("  notice on the user-interface thread:   %lld ms (baseline)\n",
                static_cast<long long>(onLoop));
    std::printf("  no notice, for as long as one takes:   %lld ms (the machine's own pauses)\n",
                static_cast<long long>(idle));
    std::printf("  ratio baseline / work pool: %.0f; notices not delivered: %d of %d (expected: "
                "all)\n",
                static_cast<double>(onLoop) / static_cast<double>(std::max<qint64>(onPool, 1)),
                failures, 2 * rounds);
    return 0;
}
