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

struct JourneyOptions {
  // The embedded sandbox, or null when playing against another server.
  sandbox::SandboxServer* sandbox = nullptr;
  std::string baseUrl;
  // Called with a step's name where the journey takes a picture of the screen
  // (login, register, agreement, real-name, ...); null: no pictures.
  std::function<void(const std::string& step)> snapshot;
};

// Plays the whole session on the main run loop; false when a step did not end
// as expected (the timeline says which).
bool runJourney(Timeline& timeline, const JourneyOptions& options);

}  // namespace tolba::demo
