#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace app {

// The one lock of every hand-off between a blocking call's thread and its waiter. Never
// destroyed: a thread that was given up may finish while the program exits. Recursive,
// because a post that the event queue refuses deletes its event under the lock.
inline std::recursive_mutex& offThreadMutex() {
    static auto* mutex = new std::recursive_mutex;
    return *mutex;
}

// Runs one blocking call on a thread of its own while the calling (user-interface)
// thread keeps serving its events in a nested loop, and hands the call's result back.
// The wait ends at `deadline`, or when the program's loops are told to end: the call is
// then given up, its thread goes on alone, and its late result goes to `discard` on that
// thread instead of to anybody who has gone away meanwhile. Everything the thread touches
// is either its own copy or shared state that lives as long as the thread needs it.
template <class T>
std::optional<T> callOffThread(std::function<T()> work, std::function<void(T&)> discard,
                               std::chrono::steady_clock::time_point deadline) {
    struct Handoff {
        std::optional<T> result;
        bool givenUp = false;
        QEventLoop* waiter = nullptr;
    };
    // What ends the wait: made and posted by the worker under the hand-off lock, and
    // destroyed (delivered, or dropped with the waiter) under that lock as well, so that
    // the event is never touched by the two threads at once.
    struct Wake : QEvent {
        Wake() : QEvent(QEvent::Quit) {}
        ~Wake() override { std::lock_guard lock(offThreadMutex()); }
    };
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (remaining.count() <= 0) return std::nullopt;

    auto handoff = std::make_shared<Handoff>();
    try {
        std::thread([handoff, work = std::move(work), discard = std::move(discard)] {
            T value = work();
            std::lock_guard lock(offThreadMutex());
            if (handoff->givenUp) {
                if (discard) discard(value);
                return;
            }
            handoff->result = std::move(value);
            // Posted under the lock: the waiter cannot be destroyed meanwhile, and an event
            // posted to it is dropped with it.
            if (handoff->waiter) QCoreApplication::postEvent(handoff->waiter, new Wake);
        }).detach();
    } catch (const std::system_error&) {
        return std::nullopt; // no thread to be had: as if the call never answered
    }

    QEventLoop loop;
    {
        std::lock_guard lock(offThreadMutex());
        if (handoff->result) return std::move(handoff->result);
        handoff->waiter = &loop;
    }
    QTimer::singleShot(remaining, &loop, [&loop] { loop.exit(1); });
    loop.exec();
    std::lock_guard lock(offThreadMutex());
    handoff->waiter = nullptr;
    if (handoff->result) return std::move(handoff->result);
    handoff->givenUp = true;
    return std::nullopt;
}

} // namespace app
