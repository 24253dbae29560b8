#include "model/TolbaSDKGameConfig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "support/sdk_fixture.h"
#include "tolba/TolbaSDK.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/device.h"
#include "tolba/platform/property_list.h"
#include "tolba/platform/user_defaults.h"

namespace tolba {
namespace {

using testing::SdkTest;
using Json = nlohmann::json;

struct GameConfigTest : SdkTest {
  std::shared_ptr<TolbaSDKGameConfig> fresh() {
    TolbaSDKGameConfig::resetForTesting();
    return TolbaSDKGameConfig::defaultInstance();
  }
};

TEST_F(GameConfigTest, FileValuesWinAndAreHandedOnAsStored) {
  writeConfig({{"gameid", 77}, {"url", "http://127.0.0.1:9"}, {"channel", ""}});
  EXPECT_EQ(TolbaSDKGameConfig::getGameId(), 77);
  EXPECT_EQ(TolbaSDKGameConfig::getMainUrl(), "http://127.0.0.1:9");
  EXPECT_EQ(TolbaSDKGameConfig::getChannel(), "");  // present but empty still wins
}

// A request reads several values: on the main loop's thread the file is looked
// at once per turn of the loop, and a change is seen from the next turn on.
TEST_F(GameConfigTest, TheFileIsLookedAtOncePerTurnOfTheMainLoop) {
  writeConfig({{"channel", "a"}});
  drain();  // this thread drives the main loop
  EXPECT_EQ(TolbaSDKGameConfig::getChannel(), "a");
  std::ofstream(platform::bundleDirectory() + "/Tolba.plist") << platform::writeXmlPropertyList({{"channel", "b"}});
  EXPECT_EQ(TolbaSDKGameConfig::getChannel(), "a");
  drain();
  EXPECT_EQ(TolbaSDKGameConfig::getChannel(), "b");
}

TEST_F(GameConfigTest, GameIdFallsBackToTheInitRecord) {
  writeConfig({{"url", "http://x"}});
  auto config = std::make_shared<TolbaSDKInitConfig>();
  config->setGameid("g-1");
  TolbaSDK::defaultInstance()->initWithConfig(config, nullptr, nullptr);
  EXPECT_EQ(TolbaSDKGameConfig::getGameId(), "g-1");
}

TEST_F(GameConfigTest, EmptyAndUnreadableFilesBehaveLikeNoFile) {
  writeConfig(Json::object());
  EXPECT_EQ(TolbaSDKGameConfig::getChannel(), "cps001");
  writeRawConfig("");  // present but empty: not a readable dictionary
  EXPECT_FALSE(TolbaSDKGameConfig::getConfigFile().has_value());
  EXPECT_EQ(TolbaSDKGameConfig::getChannel(), "cps001");
  writeRawConfig("<plist><array><string>x</string></array></plist>");
  EXPECT_FALSE(TolbaSDKGameConfig::getConfigFile().has_value());
  EXPECT_EQ(TolbaSDKGameConfig::getMainUrl(), "https://sdk.tolba.example");
  EXPECT_TRUE(log_->contains("Tolba.plist"));
}

TEST_F(GameConfigTest, OrientationFromTheFileIsDecidedOnce) {
  writeConfig({{"islandscape", 1}});
  auto config = fresh();
  EXPECT_EQ(config->getIsLandscape(), "1");
  writeConfig({{"islandscape", "0"}});
  EXPECT_EQ(config->getIsLandscape(), "1");  // cached for the process
}

TEST_F(GameConfigTest, OrientationFallsBackToTheSupportedOrientationsWalk) {
  writeConfig({{"islandscape", ""}});
  writeInfoPlist({{"UISupportedInterfaceOrientations",
                   {"UIInterfaceOrientationLandscapeRight", "UIInterfaceOrientationPortrait"}}});
  EXPECT_EQ(fresh()->getIsLandscape(), "1");
  writeInfoPlist({{"UISupportedInterfaceOrientations",
                   {"UIInterfaceOrientationPortrait", "UIInterfaceOrientationLandscapeLeft"}}});
  EXPECT_EQ(fresh()->getIsLandscape(), "0");

  writeInfoPlist({{"UISupportedInterfaceOrientations", Json::array()}});
  auto config = fresh();
  EXPECT_EQ(config->getIsLandscape(), std::nullopt);
  writeInfoPlist({{"UISupportedInterfaceOrientations", {"UIInterfaceOrientationLandscapeLeft"}}});
  EXPECT_EQ(config->getIsLandscape(), "1");  // nothing was stored, so it looks again
}

TEST_F(GameConfigTest, OrientationHookAnswersTheMask) {
  writeConfig({{"islandscape", "1"}});
  fresh();
  EXPECT_EQ(TolbaSDK::defaultInstance()->applicationSupportedInterfaceOrientationsForWindow(nullptr, nullptr), 24u);
  writeConfig({{"islandscape", "0"}});
  fresh();
  EXPECT_EQ(TolbaSDK::defaultInstance()->applicationSupportedInterfaceOrientationsForWindow(nullptr, nullptr), 2u);
  writeConfig(Json::object());
  fresh();
  EXPECT_EQ(TolbaSDK::defaultInstance()->applicationSupportedInterfaceOrientationsForWindow(nullptr, nullptr), 2u);
}

TEST_F(GameConfigTest, ChannelAccountIdIsStoredAsText) {
  EXPECT_EQ(TolbaSDKGameConfig::getSdkUid(), "");
  TolbaSDKGameConfig::setSdkUid(12345);
  EXPECT_EQ(TolbaSDKGameConfig::getSdkUid(), "12345");
  TolbaSDKGameConfig::setSdkUid(nullptr);
  EXPECT_EQ(TolbaSDKGameConfig::getSdkUid(), "");
  TolbaSDKGameConfig::saveStringInfo(Json("(null)"), kTolbaChannelAccountKey);
  EXPECT_EQ(TolbaSDKGameConfig::getSdkUid(), "");
  TolbaSDKGameConfig::setSdkUid("u-9");
  platform::UserDefaults::standard()->flush();
  // A new process reads the same file.
  platform::UserDefaults reopened(platform::UserDefaults::standard()->path());
  EXPECT_EQ(reopened.objectForKey(kTolbaChannelAccountKey), Json("u-9"));
}

TEST_F(GameConfigTest, DeviceIdOnEarlierSystemsPrefersTheAdvertisingId) {
  auto& device = platform::Device::current();
  device.setSystemVersion("13.7");
  device.setIdentifierForVendor("VENDOR");
  bool enabled = false;
  device.setAdvertising({[&] { return enabled; }, [] { return std::string("ADID"); }, nullptr});
  EXPECT_EQ(TolbaSDKGameConfig::getUUID(), "VENDOR");
  EXPECT_FALSE(TolbaSDKGameConfig::readStringValueByKey(kTolbaIdfaKey).has_value());  // not stored
  enabled = true;
  EXPECT_EQ(TolbaSDKGameConfig::getUUID(), "ADID");
  enabled = false;
  EXPECT_EQ(TolbaSDKGameConfig::getUUID(), "ADID");  // stored now
}

TEST_F(GameConfigTest, DeviceIdOnNewerSystemsAsksAndStoresOnlyWhenAuthorised) {
  auto& device = platform::Device::current();
  device.setSystemVersion("14.0");
  std::atomic<int> asked{0};
  platform::TrackingStatus answer = platform::TrackingStatus::Denied;
  device.setAdvertising({nullptr, [] { return std::string("ADID-14"); },
                         [&](std::function<void(platform::TrackingStatus)> done) {
                           ++asked;
                           std::thread([done, answer] { done(answer); }).join();  // answered off this thread
                         }});
  EXPECT_EQ(TolbaSDKGameConfig::getUUID(), "");
  EXPECT_EQ(TolbaSDKGameConfig::getUUID(), "");  // refused: asks again
  EXPECT_EQ(asked.load(), 2);
  answer = platform::TrackingStatus::Authorized;
  EXPECT_EQ(TolbaSDKGameConfig::getUUID(), "");  // this call still answers empty
  EXPECT_EQ(TolbaSDKGameConfig::getUUID(), "ADID-14");
  EXPECT_EQ(asked.load(), 3);
}

TEST_F(GameConfigTest, Md5AndModelNames) {
  EXPECT_EQ(TolbaSDKGameConfig::stringMD5(""), std::nullopt);
  EXPECT_EQ(TolbaSDKGameConfig::stringMD5(std::nullopt), std::nullopt);
  EXPECT_EQ(TolbaSDKGameConfig::stringMD5("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(TolbaSDKGameConfig::stringMD5(std::string("abc\0def", 7)), "900150983cd24fb0d6963f7d28e17f72");
  auto& device = platform::Device::current();
  device.setMachine("x86_64");
  EXPECT_EQ(TolbaSDKGameConfig::getPhoneName(), "Simulator");
  device.setMachine("iphone10,3");  // case matters
  EXPECT_EQ(TolbaSDKGameConfig::getPhoneName(), "iphone10,3");
}

}  // namespace
}  // namespace tolba
