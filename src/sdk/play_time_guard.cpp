#include "sdk/play_time_guard.h"

#include "tolba/platform/run_loop.h"

namespace tolba {

void PlayTimeGuard::start(std::int64_t secondsLeft, Warn warn, End end) {
  stop();
  auto& loop = platform::RunLoop::main();
  for (const std::int64_t at : kWarnings) {
    if (secondsLeft <= at) continue;
    timers_.push_back(loop.scheduleTimer(
        platform::Duration(static_cast<double>(secondsLeft - at)), false,
        [warn, at](platform::Timer&) {
          if (warn) warn(at);
        },
        "play-time warning"));
  }
  timers_.push_back(loop.scheduleTimer(
      platform::Duration(static_cast<double>(secondsLeft > 0 ? secondsLeft : 0)), false,
      [this, end](platform::Timer&) {
        stop();
        if (end) end();
      },
      "play-time end"));
}

void PlayTimeGuard::stop() {
  for (const auto& timer : timers_) timer->invalidate();
  timers_.clear();
}

}  // namespace tolba
