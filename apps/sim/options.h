#pragma once
// The simulator's command line.

#include <optional>
#include <string>
#include <vector>

namespace tolba::sim {

struct Options {
  std::string device = "standard";
  bool landscape = false;
  std::optional<std::string> baseUrl;  // another server instead of the embedded sandbox
  bool autoplay = false;
  int repeat = 1;                            // times the autoplayed journey is played
  std::optional<std::string> script;         // a file of input events to play
  std::optional<std::string> screenshotDir;  // a PNG per step (autoplay, scripts, F12)
  bool quit = false;                         // end with the journey or script
  double speed = 1;                          // how fast the scripted player moves
  double zoom = 0;                           // window pixels per screen pixel; 0 = fit the display
  bool panel = true;                         // the traffic and notification side panel
  bool stats = false;                        // frame and redraw counters on exit
  std::optional<std::string> statsFile;      // the same as JSON
  std::vector<std::string> faults;           // embedded sandbox faults, as tolba-sandbox --fault
  bool verbose = false;                      // the SDK's log lines too
};

extern const char kUsage[];

// nullopt (after a message on stderr) for a command line that does not parse.
std::optional<Options> parseOptions(int argc, char** argv);

}  // namespace tolba::sim
