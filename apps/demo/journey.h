#pragma once
// The scripted session the demo plays: a game that initialises the SDK, a player
// who registers, verifies their identity, pays twice, switches account, logs in
// again and logs out.

#include <functional>
#include <string>

#include "timeline.h"

namespace tolba::sandbox {
class SandboxServer;
}

namespace tolba::demo {

inline constexpr char kGameId[] = "1001";
inline constexpr char kDemoPassword[] = "tolba-demo-pw";

struct JourneyOptions {
  // The embedded sandbox, or null when playing against another server.
  sandbox::SandboxServer* sandbox = nullptr;
  std::string baseUrl;
  // Called with a step's name where the journey takes a picture of the screen
  // (login, register, agreement, real-name, ...); null: no pictures.
  std::function<void(const std::string& step)> snapshot;
  // The minor's journey instead: `minorAccount` (a 12-year-old with a verified
  // identity, on a sandbox whose clock stands shortly before a play-time window
  // ends, or outside every window when `outsideWindow`).
  std::string minorAccount;
  bool outsideWindow = false;
};

// The minor's account of the demo and the moments its sandbox's clock starts at.
inline constexpr char kMinorAccount[] = "xiaoming12";
inline constexpr char kMinorBirthDate[] = "20140601";
inline constexpr char kMinorWindowMoment[] = "2026-12-11T20:58:50+08:00";   // a Friday, 70 s before 21:00
inline constexpr char kMinorOutsideMoment[] = "2026-12-08T15:00:00+08:00";  // a Tuesday afternoon

// Plays the whole session on the main run loop; false when a step did not end
// as expected (the timeline says which).
bool runJourney(Timeline& timeline, const JourneyOptions& options);

}  // namespace tolba::demo
