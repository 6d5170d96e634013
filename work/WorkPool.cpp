#include "work/WorkPool.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace work {
namespace {

// How long a thread with nothing to do waits for work before it ends: long enough that a
// burst of jobs reuses it, short enough that an idle program holds no threads.
constexpr std::chrono::seconds idleThreadLifetime{30};

struct Job {
    JobId id = 0;
    std::function<void(std::stop_token)> work;
    std::function<void()> report;
    std::stop_source stop;
    bool cancelled = false;
    bool detached = false; // no completion, nothing to report
};

} // namespace

// Receives the one kind of event the workers post: "completions are waiting".
class CompletionChannel : public QObject {
public:
    explicit CompletionChannel(std::shared_ptr<WorkPool::State> state) : state_(std::move(state)) {}
    bool event(QEvent* event) override;
    // A completion may destroy the pool, and with it this channel, while it delivers.
    bool delivering = false;

private:
    std::shared_ptr<WorkPool::State> state_;
};

struct WorkPool::State {
    explicit State(int limit) : maxThreads(limit > 0 ? limit : 1) {}

    mutable std::mutex mutex;
    std::condition_variable workArrived;
    // Every job whose completion has not run, by id.
    std::unordered_map<JobId, std::shared_ptr<Job>> jobs;
    std::deque<std::shared_ptr<Job>> waiting;
    std::deque<std::shared_ptr<Job>> finished;
    JobId lastId = 0;
    const int maxThreads;
    int threads = 0;
    int idle = 0;
    bool closing = false;
    // Null once the pool is gone; only touched under the lock.
    CompletionChannel* channel = nullptr;
    // One posted event carries every completion that arrives before it is delivered.
    bool wakePosted = false;

    void finish(const std::shared_ptr<Job>& job) {
        finished.push_back(job);
        if (wakePosted || !channel) return;
        wakePosted = true;
        // Posted under the lock, so the channel cannot be destroyed meanwhile.
        QCoreApplication::postEvent(channel, new QEvent(QEvent::User));
    }
};

namespace {

void serve(const std::shared_ptr<WorkPool::State>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        if (state->closing) break;
        if (state->waiting.empty()) {
            ++state->idle;
            const bool arrived = state->workArrived.wait_for(lock, idleThreadLifetime, [&] {
                return state->closing || !state->waiting.empty();
            });
            --state->idle;
            if (!arrived) break;
            continue;
        }
        std::shared_ptr<Job> job = std::move(state->waiting.front());
        state->waiting.pop_front();
        if (job->cancelled) continue;
        std::stop_token stop = job->stop.get_token();
        lock.unlock();
        try {
            job->work(stop);
        } catch (...) {
            // The completion learns of it by getting no result.
        }
        job->work = nullptr; // what the work captured goes with the worker's copy
        lock.lock();
        if (!job->cancelled && !job->detached) state->finish(job);
    }
    --state->threads;
}

// Queues a job and makes a thread for it when none is idle and the bound allows; 0 for a
// detached job that no thread could be had for.
JobId enqueue(const std::shared_ptr<WorkPool::State>& state, std::shared_ptr<Job> job) {
    std::lock_guard lock(state->mutex);
    job->id = ++state->lastId;
    if (!job->detached) state->jobs.emplace(job->id, job);
    state->waiting.push_back(job);
    if (static_cast<std::size_t>(state->idle) >= state->waiting.size() ||
        state->threads >= state->maxThreads) {
        state->workArrived.notify_one();
        return job->id;
    }
    try {
        std::thread([state] { serve(state); }).detach();
        ++state->threads;
    } catch (const std::system_error&) {
        // No thread to be had now. The threads that exist will take the job; with none,
        // it is reported at once as having no result, or, detached, never runs.
        if (state->threads == 0) {
            state->waiting.pop_back();
            if (job->detached) return 0;
            state->finish(job);
        }
    }
    return job->id;
}

} // namespace

bool CompletionChannel::event(QEvent* event) {
    const std::shared_ptr<WorkPool::State> state = state_;
    {
        // The wake-up was made on a worker under this lock, so it is looked at under it too:
        // the toolkit's own hand-over of posted events is invisible to the thread checker.
        std::unique_lock lock(state->mutex);
        if (event->type() != QEvent::User) {
            lock.unlock();
            return QObject::event(event);
        }
        state->wakePosted = false;
    }
    delivering = true;
    // Taken one at a time: a completion may cancel a job reported after it, start new
    // ones or destroy the pool.
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::lock_guard lock(state->mutex);
            if (state->closing || state->finished.empty()) break;
            job = std::move(state->finished.front());
            state->finished.pop_front();
            if (job->cancelled) continue;
            state->jobs.erase(job->id);
        }
        const std::function<void()> report = std::move(job->report);
        report();
    }
    std::lock_guard lock(state->mutex);
    if (state->closing) {
        deleteLater();
        return true;
    }
    delivering = false;
    return true;
}

WorkPool::WorkPool(int maxThreads) : state_(std::make_shared<State>(maxThreads)) {
    state_->channel = new CompletionChannel(state_);
}

WorkPool::~WorkPool() {
    std::lock_guard lock(state_->mutex);
    state_->closing = true;
    for (auto& [id, job] : state_->jobs) {
        job->cancelled = true;
        job->stop.request_stop();
        job->report = nullptr; // made on this thread, and let go on it
    }
    state_->jobs.clear();
    state_->waiting.clear();
    state_->finished.clear();
    // Its undelivered event goes with it; while it delivers, it goes once it has.
    if (!state_->channel->delivering) delete state_->channel;
    state_->channel = nullptr;
    state_->workArrived.notify_all();
}

WorkPool& WorkPool::shared() {
    // Never destroyed: a lookup may still be running while the program exits.
    static auto* pool = new WorkPool(4);
    return *pool;
}

JobId WorkPool::start(std::function<void(std::stop_token)> work, std::function<void()> report) {
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    job->report = std::move(report);
    return enqueue(state_, std::move(job));
}

bool WorkPool::runDetached(std::function<void(std::stop_token)> work) {
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    job->detached = true;
    return enqueue(state_, std::move(job)) != 0;
}

bool WorkPool::cancel(JobId id) {
    std::lock_guard lock(state_->mutex);
    const auto it = state_->jobs.find(id);
    if (it == state_->jobs.end()) return false;
    it->second->cancelled = true;
    it->second->stop.request_stop();
    // What the completion holds belongs to this thread: it is let go here, not on the
    // thread that may still be running the work.
    it->second->report = nullptr;
    state_->jobs.erase(it);
    return true;
}

std::size_t WorkPool::pending() const {
    std::lock_guard lock(state_->mutex);
    return state_->jobs.size();
}

int WorkPool::threads() const {
    std::lock_guard lock(state_->mutex);
    return state_->threads;
}

} // namespace work
