// Start-up and memory of the SDK in a game's process:
//  - start-up: initWithConfig with the network up, then ticks until the game
//    hears kTolbaSDKNotiInitDidFinished (it must be the first), and the time of
//    that first tick;
//  - resident memory the SDK adds, initialised and with the login panel open,
//    over the same process before its first SDK call;
//  - heap growth over 10,000 requests and 1,000 openings and closings of the
//    login panel (the allocator's bytes in use, after a warm-up).
// The sandbox server runs in a child process, so that its memory is not counted.
#include <malloc.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "budget.h"
#include "net/TolbaApi.h"
#include "net/TolbaNetTool.h"
#include "sandbox_server.h"
#include "tolba/TolbaSDK.h"
#include "tolba/TolbaSDKInitConfig.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/log.h"
#include "tolba/platform/notification_center.h"
#include "tolba/platform/property_list.h"
#include "tolba/platform/run_loop.h"
#include "tolba/player/find_view.h"
#include "toolkit/application.h"
#include "toolkit/window.h"
#include "ui/TolbaLoginView.h"

namespace fs = std::filesystem;
using namespace tolba;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRequests = 10000;
constexpr int kPanels = 1000;

double residentMb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Bytes the allocator has handed out and not had back, over all arenas.
double heapKb() {
  const auto info = ::mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd) / 1024.0;
}

struct ServerProcess {
  pid_t pid = -1;
  std::string baseUrl;
  std::int64_t uid = 0;
};

// Forks before any thread exists; the child serves until it is killed.
bool startServer(const fs::path& root, ServerProcess& out) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  out.pid = ::fork();
  if (out.pid < 0) return false;
  if (out.pid == 0) {
    ::close(fds[0]);
    sandbox::SandboxOptions options;
    options.dbPath = (root / "sandbox.db").string();
    options.logRequests = false;
    options.passwordIterations = 1000;
    sandbox::SandboxServer server(options);
    std::string line = "-";
    if (server.start()) {
      const auto uid = server.addAccount("footprint", "bench-password", 500);
      line = server.baseUrl() + " " + std::to_string(uid.value_or(0));
    }
    line += "\n";
    if (::write(fds[1], line.data(), line.size()) < 0) ::_exit(1);
    ::close(fds[1]);
    server.wait();
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string line;
  char c;
  while (::read(fds[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(fds[0]);
  const auto space = line.find(' ');
  if (space == std::string::npos) return false;
  out.baseUrl = line.substr(0, space);
  out.uid = std::stoll(line.substr(space + 1));
  return true;
}

std::shared_ptr<TolbaLoginView> openLoginPanel(TolbaSDK& sdk) {
  if (sdk.login() != 0) return nullptr;
  std::shared_ptr<TolbaLoginView> panel;
  platform::RunLoop::main().runUntil([&] { return (panel = player::findView<TolbaLoginView>()) != nullptr; },
                                     platform::Duration(5));
  return panel;
}

}  // namespace

int main() {
  const fs::path root = fs::temp_directory_path() / ("tolba-footprint-bench-" + std::to_string(::getpid()));
  fs::create_directories(root / "bundle");
  fs::create_directories(root / "data");
  ServerProcess server;
  if (!startServer(root, server)) {
    std::fprintf(stderr, "footprint bench: the sandbox server did not start\n");
    if (server.pid > 0) ::kill(server.pid, SIGKILL);
    return 1;
  }
  struct Cleanup {
    fs::path root;
    pid_t pid;
    ~Cleanup() {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      std::error_code ec;
      fs::remove_all(root, ec);
    }
  } cleanup{root, server.pid};

  {
    std::ofstream plist(root / "bundle" / "Tolba.plist");
    plist << platform::writeXmlPropertyList(
        {{"gameid", "1001"}, {"channel", "cps001"}, {"url", server.baseUrl}, {"islandscape", "0"}});
  }
  platform::setBundleDirectory((root / "bundle").string());
  platform::setDataDirectory((root / "data").string());
  platform::setLogSink([](const std::string&) {});

  // The game's own window, as a game has before it starts the SDK.
  auto& app = platform::Application::shared();
  app.setMainScreenBounds({{0, 0}, {375, 667}});
  auto gameWindow = std::make_shared<platform::Window>(app.mainScreenBounds());
  gameWindow->setRootView(std::make_shared<platform::View>());
  gameWindow->makeKeyAndVisible();
  bool initialised = false;
  auto& center = platform::NotificationCenter::defaultCenter();
  platform::ScopedObserver observer(center,
                                    center.addObserver(kTolbaSDKNotiInitDidFinished, nullptr,
                                                       [&](const platform::Notification&) { initialised = true; }));
  const double baseResident = residentMb();

  // --- start-up
  auto& loop = platform::RunLoop::main();
  const auto t0 = Clock::now();
  auto sdk = TolbaSDK::defaultInstance();
  auto config = std::make_shared<TolbaSDKInitConfig>();
  config->setGameid("1001");
  const auto code = sdk->initWithConfig(config, &app, nlohmann::json::object());
  const auto t1 = Clock::now();
  int ticks = 0;
  double firstTickMs = 0;
  while (code == 0 && !initialised && ticks < 1000) {
    const auto before = Clock::now();
    loop.tick();
    if (++ticks == 1) firstTickMs = std::chrono::duration<double, std::milli>(Clock::now() - before).count();
    if (!initialised) loop.runUntil([] { return false; }, platform::Duration(0.002));  // the next frame
  }
  const double initCallMs = std::chrono::duration<double, std::milli>(t1 - t0).count();

  // --- resident memory with the login panel open
  auto panel = openLoginPanel(*sdk);
  const double withPanel = residentMb();

  // --- growth
  nlohmann::json parameter = {{"zz", server.uid}, {"z", "1001"}, {"b", "1001"}, {"bb", "cps001"}};
  int replies = 0;
  auto requests = [&](int count) {
    for (int i = 0; i < count; ++i) {
      const int before = replies;
      TolbaNetTool::netPostWithUrl("sdkmini/pay/getPayWay", parameter,
                                   [&](const std::optional<nlohmann::json>& r, const nlohmann::json&) {
                                     if (r) ++replies;
                                   });
      loop.runUntil([&] { return replies > before; }, platform::Duration(15));
    }
  };
  auto panels = [&](int count) {
    for (int i = 0; i < count; ++i) {
      if (panel) panel->removeFromSuperview();
      panel.reset();
      loop.runUntil([] { return false; }, platform::Duration(0));
      panel = openLoginPanel(*sdk);
    }
  };
  requests(500);
  panels(50);
  ::malloc_trim(0);
  const double heapBefore = heapKb();
  const double residentBefore = residentMb();
  requests(kRequests);
  panels(kPanels);
  ::malloc_trim(0);
  const double heapAfter = heapKb();
  const double residentAfter = residentMb();
  const bool ok = code == 0 && initialised && panel != nullptr && replies == 500 + kRequests;

  std::printf("initWithConfig call %.3f ms; notification after %d tick(s); first tick %.3f ms\n", initCallMs, ticks,
              firstTickMs);
  std::printf("resident: %.2f MB before the SDK, %.2f MB initialised with the login panel open\n", baseResident,
              withPanel);
  std::printf("heap in use: %.1f KB before, %.1f KB after %d requests and %d panels (resident %.2f -> %.2f MB)\n",
              heapBefore, heapAfter, kRequests, kPanels, residentBefore, residentAfter);
  if (!ok) std::printf("the run did not go as expected (replies %d)\n", replies);
  bench::printBudget("startup-ticks-to-init", ticks, "ticks", 1, 0);
  bench::printBudget("startup-first-tick", firstTickMs, "ms", 2.0, 3);
  bench::printBudget("memory-resident-added", withPanel - baseResident, "MB", 8.0);
  bench::printBudget("memory-growth", std::max(0.0, heapAfter - heapBefore), "KB", 64, 1);
  return ok ? 0 : 1;
}
