// The first panel a player sees, in a fresh process, as a game meets it: the
// host sets its screen at start (which starts preparing the fonts), the game
// runs frames at 60 Hz while the SDK's initialisation goes out and back (six
// frames, 100 ms, a quick round trip on a phone network), then the login panel
// opens: installTextMeasurer(), the panel built and laid out, the first draw.
// That last part is timed, on the main thread's wall clock.
//
// Each figure comes from a process of its own (this program run again with
// --once), seven times; the median makes the budget line:
//   budget first-panel: <median> ms (limit 8) met|missed
// The same without the early setScreen (fonts loaded on the main thread, as
// before the warm-up) is printed for comparison.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "budget.h"
#include "tolba/TolbaHost.h"
#include "tolba/TolbaLayer.h"
#include "toolkit/application.h"
#include "toolkit/window.h"
#include "ui/TolbaLoginView.h"

extern char** environ;

namespace {

constexpr double kLimitMs = 8;
constexpr int kRuns = 7;
constexpr int kFramesBeforeThePanel = 6;

double openFirstPanel(bool warm) {
  using Clock = std::chrono::steady_clock;
  auto& app = tolba::platform::Application::shared();
  tolba::TolbaScreen screen;
  screen.width = 375;
  screen.height = 667;
  screen.scale = 2;
  if (warm) {
    tolba::TolbaHost::shared().setScreen(screen);
    for (int frame = 0; frame < kFramesBeforeThePanel; ++frame) {
      std::this_thread::sleep_for(std::chrono::microseconds(16667));
    }
  } else {
    app.setMainScreenBounds({0, 0, screen.width, screen.height});
    app.setScreenScale(screen.scale);
  }
  std::vector<std::uint8_t> pixels(750 * 1334 * 4);
  const tolba::TolbaPixelBuffer buffer{pixels.data(), 750, 1334, 750 * 4};

  const auto start = Clock::now();
  tolba::TolbaLayer::installTextMeasurer();
  auto window = std::make_shared<tolba::platform::Window>(app.mainScreenBounds());
  window->setRootView(std::make_shared<tolba::platform::View>());
  window->makeKeyAndVisible();
  window->addSubview(tolba::TolbaBaseView::create<tolba::TolbaLoginView>(app.mainScreenBounds()));
  tolba::TolbaLayer::drawInto(buffer);
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs this program again with `flag` and reads the milliseconds it prints.
double inFreshProcess(const char* self, const char* flag) {
  int out[2];
  if (pipe(out) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char* argv[] = {const_cast<char*>(self), const_cast<char*>(flag), nullptr};
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, self, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  char chunk[256];
  for (ssize_t n; (n = read(out[0], chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<std::size_t>(n));
  close(out[0]);
  if (spawned != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return std::strtod(text.c_str(), nullptr);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--once") == 0 || std::strcmp(argv[1], "--once-cold") == 0)) {
    std::printf("%.3f\n", openFirstPanel(std::strcmp(argv[1], "--once") == 0));
    return 0;
  }
  std::vector<double> warm, cold;
  for (int run = 0; run < kRuns; ++run) {
    const double w = inFreshProcess(argv[0], "--once");
    const double c = inFreshProcess(argv[0], "--once-cold");
    if (w < 0 || c < 0) {
      std::fprintf(stderr, "first_panel_bench: a measuring process failed\n");
      return 1;
    }
    warm.push_back(w);
    cold.push_back(c);
  }
  auto list = [](const std::vector<double>& v) {
    std::string s;
    for (double x : v) s += (s.empty() ? "" : " ") + std::to_string(x).substr(0, 5);
    return s;
  };
  std::printf("first panel, fonts warmed from setScreen (ms): %s\n", list(warm).c_str());
  std::printf("first panel, fonts loaded on the main thread (ms): %s; median %.2f\n", list(cold).c_str(), median(cold));
  tolba::bench::printBudget("first-panel", median(warm), "ms", kLimitMs);
  return 0;
}
