#pragma once
// The sandbox's clock. Sessions, orders, payments, the sign-in checks of games'
// servers and the minors' play-time windows all read this clock, never the
// client's. It is the wall clock unless started at a chosen moment
// (`serve --clock`), from which it then runs on at the wall clock's pace; tests
// may also move it.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace tolba::sandbox {

class ServerClock {
 public:
  // Seconds and milliseconds since 1970 on this clock.
  std::int64_t nowSeconds() const;
  std::int64_t nowMs() const;
  // From now on the clock reads `epochSeconds` plus the time since this call.
  void startAt(std::int64_t epochSeconds);
  // Moves the clock by `seconds` (tests, demos).
  void advance(std::int64_t seconds) { offsetMs_ += seconds * 1000; }

  // The process's wall clock, for code that has no server at hand.
  static const ServerClock& wall();

 private:
  std::atomic<std::int64_t> offsetMs_{0};
};

// "2026-12-11T20:30:00+08:00" (or "Z", or no zone meaning China Standard Time)
// as seconds since 1970; nullopt for any other text.
std::optional<std::int64_t> parseMoment(const std::string& text);

// A moment as China Standard Time: "2026-12-11 20:30:00".
std::string chinaTimeText(std::int64_t epochSeconds);

}  // namespace tolba::sandbox
