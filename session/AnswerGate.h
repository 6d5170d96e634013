#pragma once

#include <chrono>
#include <functional>

namespace session {

// An invitation is answered only on purpose. In the first second after its dialog
// appeared, a click or a key that reaches the dialog was meant for the window that was
// there before, so the dialog takes no answer until that second has passed. (Its
// notification's actions are deliberate and are not held back.)
class AnswerGate {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds settleTime{1000};

    explicit AnswerGate(Clock clock) : clock_(std::move(clock)) {}

    // The dialog has appeared; the second starts now.
    void open() {
        openedAt_ = clock_();
        open_ = true;
    }

    // True once the dialog has been on screen for the whole settling second.
    bool admits() const { return open_ && clock_() - openedAt_ >= settleTime; }

    // How much of the settling second is left; zero once it has passed.
    std::chrono::milliseconds remaining() const {
        if (!open_) return settleTime;
        const auto left = settleTime - std::chrono::duration_cast<std::chrono::milliseconds>(
                                           clock_() - openedAt_);
        return left.count() > 0 ? left : std::chrono::milliseconds(0);
    }

private:
    Clock clock_;
    std::chrono::steady_clock::time_point openedAt_{};
    bool open_ = false;
};

} // namespace session
