#pragma once

namespace platform {

// Hands the memory that the program has freed, and that the allocator keeps for later
// use, back to the system. Called when a large owner (a chat window and its transcript)
// has gone, so that what a long or flooded session took does not stay with the process.
void giveFreedMemoryBack();

} // namespace platform
