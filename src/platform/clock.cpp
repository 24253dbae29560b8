#include "tolba/platform/clock.h"

namespace tolba::platform {

TimePoint SteadyClock::now() const {
  return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now().time_since_epoch());
}

void ManualClock::advance(Duration by) {
  nanos_.fetch_add(static_cast<long long>(by.count() * 1e9 + (by.count() >= 0 ? 0.5 : -0.5)));
}

void ManualClock::set(TimePoint to) { nanos_.store(static_cast<long long>(to.count() * 1e9 + 0.5)); }

}  // namespace tolba::platform
