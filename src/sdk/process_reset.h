#pragma once
// Every process-wide object of the SDK back to how a fresh process finds it, for
// programs that play many cases in one process (tests, fuzz targets,
// benchmarks): the main run loop (no work, the given clock), the facade, the
// configuration, the floating button, the application and its windows, the
// focused field, the text measurer, the panel presenter, the device answers.
// Belongs to the main thread; a game never calls it.

#include <memory>

#include "tolba/platform/clock.h"

namespace tolba {

// `clock` replaces the main run loop's (nullptr keeps it).
void resetProcessState(std::shared_ptr<platform::Clock> clock = nullptr);

}  // namespace tolba
