#pragma once

#include "session/AnswerGate.h"
#include "session/AskChat.h"

#include <chrono>

namespace testsupport {

// Lets a test answer the invitation dialog the moment it appears, as if the user had
// waited for the settling second: the dialog's clock runs with the steady clock, and
// settle() moves it on by that second.
class AnswerClock {
public:
    AnswerClock() {
        session::askchat::setClock([this] { return std::chrono::steady_clock::now() + offset_; });
    }
    ~AnswerClock() { session::askchat::setClock({}); }
    AnswerClock(const AnswerClock&) = delete;
    AnswerClock& operator=(const AnswerClock&) = delete;

    void settle() { offset_ += session::AnswerGate::settleTime; }

private:
    std::chrono::steady_clock::duration offset_{};
};

} // namespace testsupport
