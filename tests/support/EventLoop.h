#pragma once

#include <functional>

namespace testsupport {

// Runs the event loop until `condition` holds or `timeoutMs` passes; returns whether
// it held. Tests wait with this instead of sleeping.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// Runs the event loop for `ms` milliseconds, for checks that something does NOT happen.
void spin(int ms);

} // namespace testsupport
