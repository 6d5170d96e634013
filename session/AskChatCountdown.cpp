#include "session/AskChatCountdown.h"

namespace session {

AskChatCountdown::Tick AskChatCountdown::tick() {
    static constexpr Face faces[] = {Face::Closed, Face::Open, Face::Wide, Face::Open};
    const Face face = faces[step_ - 1];
    step_ = step_ % 4 + 1;
    if (progress_ < tickCount) ++progress_;
    return Tick{face, progress_, progress_ >= tickCount};
}

} // namespace session
