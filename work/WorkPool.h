#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <utility>

// The one place where the program's blocking work (name lookups, the messenger-service
// client) runs off the user-interface thread. A few threads take jobs in the order they
// come; a finished job's completion goes back to the thread that made the pool through
// one channel, a posted event, and runs there between that thread's other events, never
// inside the call that started the job. A job can be cancelled until its completion has
// run: a job still waiting never starts, a running one is asked to stop through its stop
// token, and the completion of a cancelled job never runs.
namespace work {

using JobId = std::uint64_t;

class WorkPool {
public:
    // Made on the thread that receives the completions, which must run an event loop.
    explicit WorkPool(int maxThreads = 4);
    // Waiting jobs are dropped and running ones asked to stop; no completion runs after
    // this. The threads end on their own once their current job returns, so a job must
    // work only on what it captured by value.
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    // The pool the whole program shares, made on first use (on the user-interface
    // thread) and kept until the process ends.
    static WorkPool& shared();

    // Runs `work` on a pool thread and then `done` on the pool's own thread with its
    // result; with no result when the work threw or no thread could be had for it.
    template <class T>
    JobId run(std::function<T(std::stop_token)> work, std::function<void(std::optional<T>)> done) {
        auto result = std::make_shared<std::optional<T>>();
        return start([result, work = std::move(work)](
                         std::stop_token stop) { result->emplace(work(std::move(stop))); },
                     [result, done = std::move(done)] { done(std::move(*result)); });
    }

    // Runs `work` on a pool thread with no completion, for work that hands on what it
    // finds by itself and need not disturb the pool's thread when it ends. False when no
    // thread could be had for it: it then never runs. It cannot be cancelled; a pool
    // destroyed before it starts drops it.
    bool runDetached(std::function<void(std::stop_token)> work);

    // True when the job's completion was still to come and now never runs; false for a
    // job already reported or unknown.
    bool cancel(JobId job);

    // Jobs whose completion has not run yet, cancelled and detached ones not counted.
    std::size_t pending() const;
    // Threads that exist now, busy or idle. An idle thread ends after a while.
    int threads() const;

    struct State;

private:
    JobId start(std::function<void(std::stop_token)> work, std::function<void()> report);

    std::shared_ptr<State> state_;
};

} // namespace work
