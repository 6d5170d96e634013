#pragma once

// The invitation dialog's clock: a gauge that fills one step per tick and a face that
// talks, closed, open, wide open, open, then again. The dialog gives up when the gauge
// is full, 100 ticks after it appeared.
namespace session {

class AskChatCountdown {
public:
    static constexpr int tickCount = 100;
    static constexpr int intervalMs = 300;

    enum class Face { Closed, Open, Wide };

    struct Tick {
        Face face;     // the application icon for this tick
        int progress;  // the gauge after this tick
        bool timedOut; // the gauge is full: the invitation is not accepted
    };

    Tick tick();
    int progress() const { return progress_; }

private:
    int step_ = 1;
    int progress_ = 0;
};

} // namespace session
