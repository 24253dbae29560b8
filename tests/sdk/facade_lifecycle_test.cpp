#include <gtest/gtest.h>

#include <thread>

#include "sdk/TolbaSDKCore.h"
#include "support/sdk_fixture.h"
#include "tolba/platform/reachability.h"
#include "tolba/platform/serial_queue.h"

namespace tolba {
namespace {

using testing::NotificationRecorder;
using testing::SdkTest;
using Json = nlohmann::json;

struct FacadeTest : SdkTest {
  std::shared_ptr<TolbaSDKInitConfig> record(std::optional<std::string> gameid) {
    auto config = std::make_shared<TolbaSDKInitConfig>();
    config->setGameid(std::move(gameid));
    return config;
  }
  std::shared_ptr<TolbaSDKCore> sdk() { return TolbaSDKCore::shared(); }
};

TEST_F(FacadeTest, ARefusedInitPostsMinusTenAfterTheCallReturns) {
  NotificationRecorder rec({kTolbaSDKNotiInitDidFinished});
  EXPECT_EQ(sdk()->initWithConfig(nullptr, nullptr, nullptr), -10);
  EXPECT_EQ(sdk()->initWithConfig(record(""), nullptr, nullptr), -10);
  EXPECT_TRUE(rec.posted().empty());
  drain();
  ASSERT_EQ(rec.posted().size(), 2u);
  EXPECT_EQ(rec.posted()[0].userInfo, (Json{{"error", -10}}));
  EXPECT_EQ(sdk()->netTimer(), nullptr);  // no probing
  EXPECT_EQ(reach_->created(), 0);
  EXPECT_EQ(sdk()->config(), nullptr);
}

TEST_F(FacadeTest, WithTheNetworkUpInitFinishesOnTheNextTick) {
  NotificationRecorder rec({kTolbaSDKNotiInitDidFinished});
  EXPECT_EQ(sdk()->login(), -20);
  EXPECT_EQ(sdk()->initWithConfig(record("1001"), nullptr, nullptr), 0);
  EXPECT_TRUE(rec.posted().empty());      // never inside the call
  EXPECT_EQ(sdk()->netTimer(), nullptr);  // the first probe ran inside the call
  EXPECT_FALSE(sdk()->SDKIsInit());
  platform::RunLoop::main().tick();  // the game hears of it in the very next tick
  ASSERT_EQ(rec.posted().size(), 1u);
  EXPECT_EQ(rec.posted()[0].userInfo, (Json{{"error", 0}}));
  EXPECT_TRUE(sdk()->SDKIsInit());
  EXPECT_EQ(platform::RunLoop::main().pendingTimers(), 0u);
  EXPECT_TRUE(log_->contains("cps = cps001"));
  EXPECT_TRUE(log_->contains("gid = 1001"));
  EXPECT_TRUE(log_->contains("TolbaLog:网络正常了"));
  EXPECT_TRUE(log_->contains("TolbaLog:主线程里初始化"));
  EXPECT_TRUE(log_->contains("TolbaLog:聚合初始化通知"));
  EXPECT_EQ(reach_->hosts().front(), TolbaSDKCore::kProbeHostName);
}

TEST_F(FacadeTest, WithTheNetworkDownItProbesEverySecondUntilReachable) {
  reach_->setFlags(0);
  NotificationRecorder rec({kTolbaSDKNotiInitDidFinished});
  const auto threadsBefore = platform::SerialQueue::workersStarted();
  EXPECT_EQ(sdk()->initWithConfig(record("1001"), nullptr, nullptr), 0);
  advance(30);
  EXPECT_TRUE(rec.posted().empty());
  EXPECT_EQ(platform::SerialQueue::workersStarted(), threadsBefore);  // polling starts no thread
  EXPECT_EQ(sdk()->login(), -20);
  EXPECT_EQ(sdk()->logout(), -20);
  EXPECT_EQ(sdk()->payOrderInfo(nullptr, nullptr), -20);
  EXPECT_EQ(reach_->created(), 31);  // one probe in the call, then one a second

  reach_->setFlags(platform::reach::Reachable | platform::reach::IsWWAN);
  advance(1.0);
  ASSERT_EQ(rec.posted().size(), 1u);
  EXPECT_EQ(rec.posted()[0].userInfo, (Json{{"error", 0}}));
  EXPECT_EQ(sdk()->netTimer(), nullptr);
  EXPECT_EQ(sdk()->logout(), -301);
  EXPECT_EQ(sdk()->payOrderInfo(nullptr, nullptr), -301);
}

TEST_F(FacadeTest, ASecondInitStopsTheEarlierProbe) {
  reach_->setFlags(0);
  sdk()->initWithConfig(record("1"), nullptr, nullptr);
  auto first = sdk()->netTimer();
  sdk()->initWithConfig(record("2"), nullptr, nullptr);
  EXPECT_FALSE(first->isValid());
  EXPECT_EQ(platform::RunLoop::main().pendingTimers(), 1u);
  advance(5);
  EXPECT_EQ(reach_->created(), 2 + 5);
}

TEST_F(FacadeTest, SendersPostOnTheMainLoopWithTheirPayload) {
  NotificationRecorder rec({kTolbaSDKNotiLogin, kTolbaSDKNotiRealAuth, kTolbaSDKNotiRecharge});
  std::thread([&] { sdk()->sendTolbaPayNoti({{"error", -401}}); }).join();
  sdk()->sendTolbaLoginNoti({{"error", -2}, {"msg", "m"}});
  sdk()->sendTolbaRealNoti({{"error", 0}});
  EXPECT_TRUE(rec.posted().empty());
  drain();
  EXPECT_EQ(rec.names(), (std::vector<std::string>{kTolbaSDKNotiRecharge, kTolbaSDKNotiLogin, kTolbaSDKNotiRealAuth}));
  EXPECT_EQ(rec.posted()[1].userInfo, (Json{{"error", -2}, {"msg", "m"}}));
}

}  // namespace
}  // namespace tolba
