#pragma once

#include <functional>

namespace testsupport {

// Runs the event loop until `condition` holds or `timeoutMs` passes; returns whether
// it held. Tests wait with this instead of sleeping.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// Runs the event loop for `ms` milliseconds, for checks that something does NOT happen.
void spin(int ms);

// Runs `work` (which serves this thread's events) and returns the longest wait, in
// milliseconds, between ticks of a 10 ms timer meanwhile: the longest the loop went
// unserved.
long long longestLoopPause(const std::function<void()>& work);

} // namespace testsupport
