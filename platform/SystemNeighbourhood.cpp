#include "platform/NetworkNeighbourhood.h"

namespace platform {
namespace {

// No network providers yet: the tray menu lists no computers.
class EmptyNeighbourhood : public SystemNeighbourhood {
public:
    std::vector<std::shared_ptr<NetworkProvider>> providers() const override { return {}; }
};

} // namespace

std::unique_ptr<SystemNeighbourhood> startSystemNeighbourhood(std::uint16_t) {
    return std::make_unique<EmptyNeighbourhood>();
}

} // namespace platform
