#include "session/AskChatCountdown.h"

namespace session {

AskChatCountdown::Tick AskChatCountdown::tick() {
    static constexpr Face kFaces[] = {Face::Closed, Face::Open, Face::Wide, Face::Open};
    const Face face = kFaces[step_ - 1];
    step_ = step_ % 4 + 1;
    if (progress_ < kTicks) ++progress_;
    return Tick{face, progress_, progress_ >= kTicks};
}

} // namespace session
