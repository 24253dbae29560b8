#pragma once
// What tests, benchmarks and fuzz targets use to give each case a fresh world:
// a clock of their own on a run loop, no pending work, no observers. Not part
// of the installed surface; a game never resets the run loop.

#include <memory>

#include "tolba/platform/clock.h"
#include "tolba/platform/notification_center.h"
#include "tolba/platform/run_loop.h"

namespace tolba::platform {

class PlatformTestAccess {
 public:
  // Replaces the loop's clock (tests install a ManualClock). Pending timers and
  // delayed calls are dropped.
  static void setClock(RunLoop& loop, std::shared_ptr<Clock> clock);
  // Drops all pending work and timers (invalidated); what the work held is
  // destroyed outside the loop's lock.
  static void reset(RunLoop& loop);
  // Removes every observer.
  static void removeAll(NotificationCenter& center);
};

}  // namespace tolba::platform
