#pragma once
// A minor's remaining play time, counted down on the main run loop from what
// the server last said ("playleft"): the server's clock sets the time left, the
// run loop's steady clock counts it, so a device clock moved forward changes
// nothing. Warns ten minutes and one minute before the end, then ends.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tolba {

namespace platform {
class Timer;
}  // namespace platform

class PlayTimeGuard {
 public:
  // Seconds before the end at which the player is warned.
  static constexpr std::int64_t kWarnings[] = {600, 60};

  using Warn = std::function<void(std::int64_t secondsLeft)>;
  using End = std::function<void()>;

  PlayTimeGuard() = default;
  ~PlayTimeGuard() { stop(); }
  PlayTimeGuard(const PlayTimeGuard&) = delete;
  PlayTimeGuard& operator=(const PlayTimeGuard&) = delete;

  // Counts `secondsLeft` down from now, replacing any countdown running; warns
  // at each warning still ahead and ends at zero (at once when none is left).
  void start(std::int64_t secondsLeft, Warn warn, End end);
  void stop();
  bool running() const { return !timers_.empty(); }

 private:
  std::vector<std::shared_ptr<platform::Timer>> timers_;
};

}  // namespace tolba
