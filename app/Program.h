#pragma once

#include "platform/neighbourhood/NetworkNeighbourhood.h"

#include <functional>
#include <memory>

namespace app {

// The whole run of the program: the toolkit, the main form, the network neighbourhood
// that `startNeighbourhood` gives once the form exists, and the event loop until
// "&Fechar". Returns the exit code.
int runProgram(
    int argc, char** argv,
    const std::function<std::shared_ptr<platform::SystemNeighbourhood>()>& startNeighbourhood);

} // namespace app
