// tolba-demo: plays one player's session as a game would, against the embedded
// sandbox server (or another server given with --base-url), with a scripted
// player tapping and typing in the SDK's own panels. Prints the timeline and
// exits non-zero when a step does not end as expected.
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "journey.h"
#ifdef TOLBA_DEMO_SNAPSHOTS
#include "snapshots.h"
#include "tolba/TolbaLayer.h"
#include "toolkit/application.h"
#endif
#include "embedded_sandbox.h"
#include "id_card.h"
#include "server_clock.h"
#include "timeline.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/property_list.h"
#include "tolba/platform/run_loop.h"
#include "tolba/platform/scoped_log_sink.h"
#include "tolba/platform/user_defaults.h"

namespace fs = std::filesystem;
using namespace tolba;

namespace {

constexpr char kUsage[] =
    "usage: tolba-demo [--base-url URL] [--json] [--verbose] [--snapshots DIR] [--stats]\n"
    "                  [--journey minor [--outside-window]]\n"
    "  --journey minor a 12-year-old against the embedded sandbox, its clock 70 s before\n"
    "                  Friday's play-time window ends (about a minute); --outside-window\n"
    "                  starts it on a Tuesday afternoon instead, where sign-in is refused\n"
    "  Plays a whole player session: init, register, real-name, roles, two payments,\n"
    "  switching account, logging in again and logging out.\n"
    "  --base-url URL  use this server instead of the embedded sandbox (its accounts\n"
    "                  must start with enough coins; WeChat is only simulated)\n"
    "  --json          one JSON object per line instead of readable lines\n"
    "  --verbose       also print the SDK's own log lines\n"
    "  --snapshots DIR write a PNG of the screen after each step into DIR (a stand-in\n"
    "                  game with the SDK's layer over it, 375 x 667 points at scale 2)\n"
    "  --stats         at the end, what the main run loop's ticks cost: their number,\n"
    "                  the longest, the 99th percentile and the slowest task (the\n"
    "                  player's taps and typing happen between ticks, so are not counted)\n";

struct Options {
  std::optional<std::string> baseUrl;
  bool json = false;
  bool verbose = false;
  std::optional<std::string> snapshots;
  bool stats = false;
  bool minor = false;
  bool outsideWindow = false;
};

std::optional<Options> parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") {
      options.json = true;
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--journey" && i + 1 < argc && std::string(argv[i + 1]) == "minor") {
      options.minor = true;
      ++i;
    } else if (arg == "--outside-window") {
      options.outsideWindow = true;
    } else if (arg == "--stats") {
      options.stats = true;
    } else if (arg == "--base-url" && i + 1 < argc) {
      options.baseUrl = argv[++i];
    } else if (arg == "--snapshots" && i + 1 < argc) {
      options.snapshots = argv[++i];
    } else if (arg.rfind("--snapshots=", 0) == 0) {
      options.snapshots = arg.substr(12);
    } else if (arg.rfind("--base-url=", 0) == 0) {
      options.baseUrl = arg.substr(11);
    } else {
      if (arg != "--help" && arg != "-h") std::cerr << "tolba-demo: unknown argument \"" << arg << "\"\n";
      return std::nullopt;
    }
  }
  if (options.baseUrl) {
    while (!options.baseUrl->empty() && options.baseUrl->back() == '/') options.baseUrl->pop_back();
    if (options.baseUrl->empty()) return std::nullopt;
  }
  return options;
}

void printStats(const platform::RunLoopStats& stats, bool json) {
  if (json) {
    // Written by hand to keep the keys in this order; the name goes through the
    // JSON library for its escaping. The CPU figures follow the elapsed ones.
    char figures[160];
    std::snprintf(figures, sizeof figures,
                  "{\"kind\":\"stats\",\"ticks\":%zu,\"max_tick_ms\":%.3f,\"p99_tick_ms\":%.3f,", stats.ticks,
                  stats.maxTickMs, stats.p99TickMs);
    char cpu[96];
    std::snprintf(cpu, sizeof cpu, ",\"max_tick_cpu_ms\":%.3f,\"p99_tick_cpu_ms\":%.3f}", stats.maxTickCpuMs,
                  stats.p99TickCpuMs);
    std::cout << figures << "\"slowest\":" << nlohmann::json(stats.slowest).dump() << cpu << std::endl;
    return;
  }
  std::printf(
      "\nMain run loop: %zu ticks; longest %.3f ms (CPU %.3f ms), 99th percentile %.3f ms (CPU %.3f ms);\n"
      "slowest task %.3f ms (CPU %.3f ms): %s\n",
      stats.ticks, stats.maxTickMs, stats.maxTickCpuMs, stats.p99TickMs, stats.p99TickCpuMs, stats.slowestMs,
      stats.slowestCpuMs, stats.slowest.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const auto options = parse(argc, argv);
  if (!options) {
    std::cerr << kUsage;
    return 2;
  }

  const fs::path root = fs::temp_directory_path() / ("tolba-demo-" + std::to_string(::getpid()));
  struct Cleanup {
    fs::path path;
    ~Cleanup() {
      // The settings' last writes land first, and none is left for exit time
      // to write into a folder that is gone.
      platform::UserDefaults::closeStandard();
      std::error_code ec;
      fs::remove_all(path, ec);
    }
  } cleanup{root};

  demo::Timeline timeline(std::cout, options->json);
  // The SDK's (and the embedded sandbox's) log lines only when asked for;
  // otherwise the log is off, as a shipped game would have it.
  const platform::ScopedLogSink logSink([&](const std::string& line) { timeline.note("log: " + line); },
                                        options->verbose);

  std::unique_ptr<sandbox::SandboxServer> server;
  std::string baseUrl;
  if (options->baseUrl) {
    baseUrl = *options->baseUrl;
  } else {
    sandbox::SandboxOptions sandboxOptions = sandbox::embeddedOptions(root);
    if (options->minor) {
      sandboxOptions.clockStart =
          sandbox::parseMoment(options->outsideWindow ? demo::kMinorOutsideMoment : demo::kMinorWindowMoment);
    }
    std::string error;
    server = sandbox::startEmbedded(sandboxOptions, &error);
    if (!server) {
      std::cerr << "tolba-demo: the sandbox server did not start: " << error << "\n";
      return 1;
    }
    if (options->minor) {
      // A 12-year-old with a verified identity card.
      const std::string first17 = std::string("110101") + demo::kMinorBirthDate + "123";
      const std::string card = first17 + sandbox::idCardCheckCharacter(first17);
      const auto uid = server->addAccount(demo::kMinorAccount, demo::kDemoPassword, 100 * 100);
      if (!uid || server->store().setRealName(*uid, "小明", sandbox::maskIdCard(card), demo::kMinorBirthDate, 2) != 2) {
        std::cerr << "tolba-demo: could not make the minor's account\n";
        return 1;
      }
    }
    baseUrl = server->baseUrl();
  }

  sandbox::prepareGameFolder(root, demo::kGameId, baseUrl);

  if (!options->json) {
    std::cout << "Tolba SDK demo: one player's session against " << (server ? "the embedded sandbox server at " : "")
              << baseUrl << "\n";
  }

  demo::JourneyOptions journeyOptions;
  journeyOptions.sandbox = server.get();
  journeyOptions.baseUrl = baseUrl;
  if (options->minor) {
    journeyOptions.minorAccount = demo::kMinorAccount;
    journeyOptions.outsideWindow = options->outsideWindow;
  }
#ifdef TOLBA_DEMO_SNAPSHOTS
  std::optional<demo::Snapshots> snapshots;
  if (options->snapshots) {
    snapshots.emplace(fs::absolute(*options->snapshots));
    platform::Application::shared().setScreenScale(2);
    TolbaLayer::installTextMeasurer();  // panels and toasts measure text as it is drawn
    journeyOptions.snapshot = [&](const std::string& step) {
      std::string error;
      if (snapshots->shoot(step, &error)) {
        timeline.note("picture: " + (snapshots->folder() / (step + ".png")).string());
      } else {
        timeline.failure("no picture of " + step + ": " + error);
      }
    };
  }
#else
  if (options->snapshots) {
    std::cerr << "tolba-demo: this build has no renderer (cairo, pango and litehtml were not found), so no pictures\n";
    return 2;
  }
#endif
  if (options->stats) platform::RunLoop::main().setStatsEnabled(true);
  const bool ok = demo::runJourney(timeline, journeyOptions);
  const auto stats = platform::RunLoop::main().stats();
  platform::RunLoop::main().setStatsEnabled(false);

  if (server) server->stop();
  if (!options->json) {
    std::cout << "\n" << (ok ? "The whole journey ended as expected." : "The journey did not end as expected.") << "\n";
#ifdef TOLBA_DEMO_SNAPSHOTS
    if (snapshots) std::cout << "Pictures of each step: " << snapshots->folder().string() << "\n";
#endif
  }
  if (options->stats) printStats(stats, options->json);
  return ok ? 0 : 1;
}
