#include "tolba/platform/clock.h"

#include <cmath>

namespace tolba::platform {

TimePoint SteadyClock::now() const {
  return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now().time_since_epoch());
}

void ManualClock::advance(Duration by) { nanos_.fetch_add(std::llround(by.count() * 1e9)); }

void ManualClock::set(TimePoint to) {
  auto nanos = std::llround(to.count() * 1e9);
  // now() must never read earlier than `to` (rounding can make it a hair
  // early), or a timer due at `to` is never due and runFor() spins for ever.
  while (static_cast<double>(nanos) * 1e-9 < to.count()) ++nanos;
  nanos_.store(nanos);
}

}  // namespace tolba::platform
