#include "tests/support/EventLoop.h"
#include "tests/support/QtMain.h"
#include "work/WorkPool.h"

#include <QThread>
#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <optional>
#include <stdexcept>
#include <thread>

using testsupport::spin;
using testsupport::waitUntil;
using work::WorkPool;

namespace {

// Holds a job's thread until the test opens the gate or the job is told to stop. Each
// job waits on its own copy of the future.
struct Gate {
    std::promise<void> open;
    std::shared_future<void> opened = open.get_future().share();
};

void waitAt(const std::shared_future<void>& opened, const std::stop_token& stop) {
    while (!stop.stop_requested() &&
           opened.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
    }
}

TEST(WorkPool, completionRunsOnThePoolsThreadAfterTheCallNotInsideIt) {
    WorkPool pool(2);
    std::atomic<bool> worked{false};
    std::optional<int> result;
    QThread* reportedOn = nullptr;
    QThread* workedOn = nullptr;
    pool.run<int>(
        [&](std::stop_token) {
            workedOn = QThread::currentThread();
            worked = true;
            return 42;
        },
        [&](std::optional<int> value) {
            result = value;
            reportedOn = QThread::currentThread();
        });
    while (!worked)
        std::this_thread::yield();
    EXPECT_FALSE(result) << "reported before the event loop ran";
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, 42);
    EXPECT_EQ(reportedOn, QThread::currentThread());
    EXPECT_NE(workedOn, QThread::currentThread());
    EXPECT_EQ(pool.pending(), 0u);
}

TEST(WorkPool, aDetachedJobRunsOffThisThreadAndLeavesNothingToReport) {
    WorkPool pool(1);
    // Shared with the job, which may still be inside the promise when the test goes on.
    auto ranOn = std::make_shared<std::promise<std::thread::id>>();
    std::future<std::thread::id> ran = ranOn->get_future();
    ASSERT_TRUE(pool.runDetached(
        [ranOn](std::stop_token) { ranOn->set_value(std::this_thread::get_id()); }));
    EXPECT_NE(ran.get(), std::this_thread::get_id());
    EXPECT_EQ(pool.pending(), 0u);
}

TEST(WorkPool, neverMoreThreadsThanItsBoundAndEveryJobReportsOnce) {
    WorkPool pool(2);
    Gate gate;
    std::atomic<int> running{0}, mostAtOnce{0};
    int reports = 0;
    for (int i = 0; i < 6; ++i)
        pool.run<int>(
            [&running, &mostAtOnce, i, opened = gate.opened](std::stop_token stop) {
                const int now = ++running;
                int seen = mostAtOnce.load();
                while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) {
                }
                waitAt(opened, stop);
                --running;
                return i;
            },
            [&](std::optional<int>) { ++reports; });
    ASSERT_TRUE(waitUntil([&] { return running == 2; }));
    spin(50);
    EXPECT_EQ(running, 2);
    EXPECT_EQ(pool.threads(), 2);
    gate.open.set_value();
    ASSERT_TRUE(waitUntil([&] { return reports == 6; }));
    EXPECT_EQ(mostAtOnce, 2);
    spin(20);
    EXPECT_EQ(reports, 6);
}

TEST(WorkPool, aCancelledJobNeverReports) {
    enum class When { waiting, running, finishedNotReported };
    for (const When when : {When::waiting, When::running, When::finishedNotReported}) {
        WorkPool pool(1);
        Gate gate;
        std::atomic<bool> started{false}, stopSeen{false}, finished{false};
        // One job holds the pool's only thread, so the next one waits behind it.
        const work::JobId holder = pool.run<int>(
            [opened = gate.opened](std::stop_token stop) {
                waitAt(opened, stop);
                return 0;
            },
            [](std::optional<int>) {});
        if (when != When::waiting) gate.open.set_value();
        bool reported = false;
        const work::JobId job = pool.run<int>(
            [&](std::stop_token stop) {
                started = true;
                if (when == When::running)
                    while (!stop.stop_requested())
                        std::this_thread::yield();
                stopSeen = stop.stop_requested();
                finished = true;
                return 1;
            },
            [&](std::optional<int>) { reported = true; });
        if (when == When::running)
            while (!started)
                std::this_thread::yield();
        if (when == When::finishedNotReported)
            while (!finished)
                std::this_thread::yield();
        EXPECT_TRUE(pool.cancel(job));
        EXPECT_FALSE(pool.cancel(job)) << "cancelled twice";
        if (when == When::waiting) {
            EXPECT_TRUE(pool.cancel(holder));
        }
        ASSERT_TRUE(waitUntil([&] { return pool.pending() == 0; }));
        spin(30);
        EXPECT_FALSE(reported) << int(when);
        EXPECT_EQ(started.load(), when != When::waiting) << int(when);
        if (when == When::running) {
            ASSERT_TRUE(waitUntil([&] { return finished.load(); }));
            EXPECT_TRUE(stopSeen);
        }
    }
}

TEST(WorkPool, aReportedJobCannotBeCancelledAndAThrowingOneReportsNoResult) {
    WorkPool pool(1);
    std::optional<std::optional<int>> outcome;
    const work::JobId job =
        pool.run<int>([](std::stop_token) -> int { throw std::runtime_error("no memory"); },
                      [&](std::optional<int> value) { outcome = value; });
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }));
    EXPECT_FALSE(outcome->has_value());
    EXPECT_FALSE(pool.cancel(job));
}

TEST(WorkPool, destroyedPoolStopsItsWorkAndReportsNothing) {
    std::atomic<bool> running{false};
    auto stopSeen = std::make_shared<std::atomic<bool>>(false);
    bool reported = false;
    {
        WorkPool pool(2);
        pool.run<int>(
            [&running, stopSeen](std::stop_token stop) {
                running = true;
                while (!stop.stop_requested())
                    std::this_thread::yield();
                *stopSeen = true;
                return 0;
            },
            [&](std::optional<int>) { reported = true; });
        while (!running)
            std::this_thread::yield();
    }
    ASSERT_TRUE(waitUntil([&] { return stopSeen->load(); }));
    spin(30);
    EXPECT_FALSE(reported);
}

TEST(WorkPool, aCompletionMayDestroyThePool) {
    auto pool = std::make_unique<WorkPool>(2);
    int reports = 0;
    for (int i = 0; i < 2; ++i)
        pool->run<int>([](std::stop_token) { return 0; },
                       [&](std::optional<int>) {
                           ++reports;
                           pool.reset();
                       });
    ASSERT_TRUE(waitUntil([&] { return reports > 0; }));
    spin(30);
    EXPECT_EQ(reports, 1);
}

} // namespace

FALAVOX_TEST_MAIN(QCoreApplication)
