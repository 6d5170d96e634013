#pragma once

#include <chrono>
#include <functional>

namespace session {

// An invitation is answered only on purpose. In the first second after its dialog
// appeared, a click or a key that reaches it was meant for the window that was there
// before, so no answer is taken until that second has passed.
class AnswerGate {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds kSettle{1000};

    explicit AnswerGate(Clock clock) : clock_(std::move(clock)) {}

    // The dialog has appeared; the second starts now.
    void open() {
        openedAt_ = clock_();
        open_ = true;
    }

    // True once the dialog has been on screen for the whole settling second.
    bool admits() const { return open_ && clock_() - openedAt_ >= kSettle; }

private:
    Clock clock_;
    std::chrono::steady_clock::time_point openedAt_{};
    bool open_ = false;
};

} // namespace session
