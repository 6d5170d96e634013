// The program's start-up exactly as the real program runs it, with a network
// neighbourhood that has no provider and announces nothing: the baseline against which
// startup_to_listening.py measures what the real neighbourhood adds before the listener
// opens.
#include "app/Program.h"

namespace {

class NoNeighbourhood : public platform::SystemNeighbourhood {
public:
    std::vector<std::shared_ptr<platform::NetworkProvider>> providers() const override {
        return {};
    }
};

} // namespace

int main(int argc, char** argv) {
    return app::runProgram(argc, argv, [] { return std::make_shared<NoNeighbourhood>(); });
}
