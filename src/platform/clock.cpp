#include "tolba/platform/clock.h"

namespace tolba::platform {

TimePoint SteadyClock::now() const {
  return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now().time_since_epoch());
}

void ManualClock::advance(Duration by) {
  nanos_.fetch_add(static_cast<long long>(by.count() * 1e9 + (by.count() >= 0 ? 0.5 : -0.5)));
}

void ManualClock::set(TimePoint to) {
  auto nanos = static_cast<long long>(to.count() * 1e9 + 0.5);
  // now() must never read earlier than `to` (rounding can make it a hair
  // early), or a timer due at `to` is never due and runFor() spins for ever.
  while (static_cast<double>(nanos) * 1e-9 < to.count()) ++nanos;
  nanos_.store(nanos);
}

}  // namespace tolba::platform
