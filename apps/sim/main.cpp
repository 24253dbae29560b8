// tolba-sim: a phone-sized window in which a stand-in game hosts the Tolba SDK
// through its public interface, against the embedded sandbox server (or another
// server given with --base-url). See the README's "Simulator" section.
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "embedded_sandbox.h"
#include "journey.h"
#include "options.h"
#include "simulator.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/property_list.h"
#include "tolba/platform/scoped_log_sink.h"

namespace fs = std::filesystem;
using namespace tolba;

int main(int argc, char** argv) {
  const auto options = sim::parseOptions(argc, argv);
  if (!options) {
    std::cerr << sim::kUsage;
    return 2;
  }

  std::vector<sim::Step> script;
  if (options->script) {
    std::ifstream in(*options->script);
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    auto steps = in ? sim::parseScript(text.str(), &error) : std::nullopt;
    if (!steps) {
      std::cerr << "tolba-sim: " << *options->script << ": " << (in ? error : "cannot be read") << "\n";
      return 2;
    }
    script = std::move(*steps);
  }

  const fs::path root = fs::temp_directory_path() / ("tolba-sim-" + std::to_string(::getpid()));
  struct Cleanup {
    fs::path path;
    ~Cleanup() {
      std::error_code ec;
      fs::remove_all(path, ec);
    }
  } cleanup{root};

  const bool verbose = options->verbose;
  const platform::ScopedLogSink logSink([](const std::string& line) { std::cerr << "log: " << line << "\n"; }, verbose);

  std::unique_ptr<sandbox::SandboxServer> server;
  std::string baseUrl;
  if (options->baseUrl) {
    baseUrl = *options->baseUrl;
  } else {
    sandbox::SandboxOptions sandboxOptions = sandbox::embeddedOptions(root);
    sandboxOptions.logRequests = verbose;
    sandboxOptions.startingCoins = 1000 * 100;
    for (const auto& flag : options->faults) {
      std::string error;
      auto rule = sandbox::parseFaultFlag(flag, &error);
      if (!rule) {
        std::cerr << "tolba-sim: --fault " << flag << ": " << error << "\n";
        return 2;
      }
      sandboxOptions.faults.push_back(*rule);
    }
    std::string error;
    server = sandbox::startEmbedded(sandboxOptions, &error);
    if (!server) {
      std::cerr << "tolba-sim: the sandbox server did not start: " << error << "\n";
      return 1;
    }
    baseUrl = server->baseUrl();
  }
  if (!options->faults.empty() && options->baseUrl) {
    std::cerr << "tolba-sim: --fault is for the embedded sandbox (use the server's own admin endpoint)\n";
    return 2;
  }

  sandbox::prepareGameFolder(root, sim::kGameId, baseUrl);
  std::cout << "Tolba SDK simulator against " << (server ? "the embedded sandbox server at " : "") << baseUrl
            << std::endl;

  int status = 0;
  {
    sim::Simulator simulator(*options, baseUrl);
    if (!simulator.open()) return 1;
    if (options->autoplay) {
      std::vector<sim::Step> steps;
      for (int i = 0; i < options->repeat; ++i) {
        auto journey = sim::journeySteps(simulator, i > 0);  // a new player each time
        steps.insert(steps.end(), std::make_move_iterator(journey.begin()), std::make_move_iterator(journey.end()));
      }
      simulator.play(std::move(steps));
    }
    if (options->script) simulator.play(std::move(script));
    status = simulator.run();
  }
  if (server) server->stop();
  return status;
}
