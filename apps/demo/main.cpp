// tolba-demo: initialises the SDK against a temporary bundle and prints the
// notifications a game would receive.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

#include "tolba/platform/value.h"

#include "tolba/TolbaSDK.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/log.h"
#include "tolba/platform/notification_center.h"
#include "tolba/platform/property_list.h"
#include "tolba/platform/run_loop.h"

namespace fs = std::filesystem;
using namespace tolba;

int main() {
  const fs::path root = fs::temp_directory_path() / ("tolba-demo-" + std::to_string(::getpid()));
  fs::create_directories(root / "bundle");
  fs::create_directories(root / "data");
  {
    std::ofstream plist(root / "bundle" / "Tolba.plist");
    plist << platform::writeXmlPropertyList({{"gameid", "1001"}, {"channel", "cps001"}, {"islandscape", "0"}});
  }
  platform::setBundleDirectory((root / "bundle").string());
  platform::setDataDirectory((root / "data").string());
  platform::setLogSink([](const std::string& line) { std::cout << "  log: " << line << "\n"; });

  bool initialised = false;
  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(kTolbaSDKNotiInitDidFinished, nullptr, [&](const platform::Notification& n) {
    std::cout << n.name << " " << n.userInfo.dump() << "\n";
    initialised = platform::intValue(platform::find(n.userInfo, kTolbaSDKKeyError)) == 0;
  });

  auto config = std::make_shared<TolbaSDKInitConfig>();
  config->setGameid("1001");
  std::cout << "initWithConfig -> " << TolbaSDK::defaultInstance()->initWithConfig(config, nullptr, nullptr) << "\n";
  const bool done = platform::RunLoop::main().runUntil([&] { return initialised; }, platform::Duration(15));
  std::error_code ec;
  fs::remove_all(root, ec);
  if (!done) {
    std::cout << "no usable network route was found within 15 seconds\n";
    return 1;
  }
  return 0;
}
