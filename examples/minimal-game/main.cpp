// The smallest game that uses the SDK: it points Tolba.plist at a server,
// initialises, and runs its frame loop until the SDK says initialisation finished.
//   minimal-game BASE_URL BUNDLE_DIR
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "tolba/TolbaSDK.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/notification_center.h"
#include "tolba/platform/run_loop.h"
#if MINIMAL_GAME_DRAWS
#include <vector>

#include "tolba/TolbaHost.h"
#include "tolba/TolbaLayer.h"
#endif

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: minimal-game BASE_URL BUNDLE_DIR\n");
    return 2;
  }
  const std::string bundle = argv[2];
  std::ofstream(bundle + "/Tolba.plist") << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                         << "<key>gameid</key><string>1001</string><key>url</key><string>" << argv[1]
                                         << "</string></dict></plist>\n";
  tolba::platform::setBundleDirectory(bundle);
  tolba::platform::setDataDirectory(bundle);

  int initError = 1;
  bool initDone = false;
  auto& center = tolba::platform::NotificationCenter::defaultCenter();
  center.addObserver(tolba::kTolbaSDKNotiInitDidFinished, nullptr, [&](const tolba::platform::Notification& n) {
    initError = n.userInfo.value(tolba::kTolbaSDKKeyError, -1);
    initDone = true;
  });

  auto config = std::make_shared<tolba::TolbaSDKInitConfig>();
  config->setGameid("1001");
  auto sdk = tolba::TolbaSDK::defaultInstance();
  if (sdk->initWithConfig(config, nullptr, nullptr) != 0) return 1;

  // The game's frame loop: one tick per frame, for at most ten seconds.
  for (int frame = 0; frame < 600 && !initDone; ++frame) {
    tolba::platform::RunLoop::main().tick();
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
  }
  std::printf("minimal-game: init finished=%d error=%d channel=%s\n", initDone, initError, sdk->channelType().c_str());
  if (!initDone || initError != 0) return 1;
#if MINIMAL_GAME_DRAWS
  // The login panel, drawn into the game's own buffer: its dimmed backdrop
  // covers the screen.
  tolba::TolbaHost::shared().setScreen(tolba::TolbaScreen{});
  if (sdk->login() != 0) return 1;
  tolba::platform::RunLoop::main().tick();
  const int width = 750, height = 1334;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
  if (!tolba::TolbaLayer::drawInto({pixels.data(), width, height, width * 4})) return 1;
  const int alpha = pixels[(static_cast<std::size_t>(height / 2) * width + width / 2) * 4 + 3];
  std::printf("minimal-game: drew the login panel, centre alpha=%d\n", alpha);
  if (alpha == 0) return 1;
#endif
  return 0;
}
