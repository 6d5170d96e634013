#include "app/Program.h"
#include "session/Protocol.h"

// The program has no command line: Qt's own options aside, arguments are ignored.
int main(int argc, char** argv) {
    return app::runProgram(
        argc, argv, [] { return platform::startSystemNeighbourhood(session::sessionPortNumber); });
}
