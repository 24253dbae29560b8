// The game's view of whole sessions against the sandbox server over loopback
// HTTP: a scripted player in the SDK's own panels, and the exact notifications
// the game receives, in order, when things go right and when they go wrong.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sandbox_server.h"
#include "support/ui_fixture.h"
#include "sdk/TolbaSDKCore.h"
#include "tolba/TolbaSDKGameRoleInfo.h"
#include "tolba/TolbaSDKPayOrderInfo.h"
#include "toolkit/button.h"
#include "toolkit/switch.h"
#include "toolkit/text_field.h"
#include "tolba/player/find_view.h"
#include "tolba/player/player.h"
#include "ui/TolbaFloatView.h"
#include "ui/TolbaLoginView.h"
#include "ui/TolbaPayView.h"
#include "ui/TolbaRealView.h"

namespace tolba::testing {
namespace {

using Json = nlohmann::json;
using player::Player;

constexpr char kPassword[] = "secret-1";
constexpr char kAdultCard[] = "110105199003071239";

const std::vector<std::string> kGameNotifications = {kTolbaSDKNotiLogin, kTolbaSDKNotiLogout, kTolbaSDKNotiRecharge,
                                                     kTolbaSDKNotiRealAuth};

class PlayerJourneyTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    sandbox::SandboxOptions options;
    options.dbPath = (root_ / "sandbox.db").string();
    options.logRequests = false;
    options.passwordIterations = 1000;
    options.keepAliveSeconds = 1;  // stopping waits for idle connections
    server_ = std::make_unique<sandbox::SandboxServer>(options);
    std::string error;
    ASSERT_TRUE(server_->start(&error)) << error;
    showKeyWindow({375, 667});
    sdk_ = initialisedSdk(server_->baseUrl());
    ASSERT_TRUE(sdk_->SDKIsInit());
    recorder_ = std::make_unique<NotificationRecorder>(kGameNotifications);
  }

  void TearDown() override {
    recorder_.reset();
    server_->stop();
    UiTest::TearDown();
  }

  // A tap as a player makes it: waiting for a toast over the control to fade.
  static bool tap(platform::View& view) {
    if (!Player::canTap(view)) platform::RunLoop::main().runFor(platform::Duration(2.5));
    return Player::tap(view);
  }

  template <class Panel>
  std::shared_ptr<Panel> waitForPanel() {
    std::shared_ptr<Panel> panel;
    runUntil([&] { return (panel = player::findView<Panel>()) != nullptr; });
    return panel;
  }

  // Opens the login panel and submits `name` / `password` in login or
  // register mode, consent given.
  void submitAccount(const std::string& name, const std::string& password, bool registering) {
    ASSERT_EQ(sdk_->login(), 0);
    auto panel = waitForPanel<TolbaLoginView>();
    ASSERT_TRUE(panel);
    if (registering) {
      ASSERT_TRUE(tap(*panel->statusBtn()));
    }
    ASSERT_TRUE(Player::type(*panel->nameF(), name));
    ASSERT_TRUE(Player::type(*panel->pwdF(), password));
    ASSERT_TRUE(tap(*panel->boxBtn()));
    ASSERT_TRUE(tap(*panel->loginBtn()));
  }

  // Registers `name` and verifies it as an adult; the session is then signed in.
  void registerVerifiedPlayer(const std::string& name) {
    submitAccount(name, kPassword, true);
    verifyAsAdult();
    ASSERT_TRUE(waitForNotifications(2));
    ASSERT_EQ(posted(0).name, kTolbaSDKNotiLogin);
    EXPECT_EQ(posted(0).userInfo["error"], 0);
    EXPECT_TRUE(posted(0).userInfo.contains("token"));
    ASSERT_EQ(posted(1).name, kTolbaSDKNotiRealAuth);
    EXPECT_EQ(posted(1).userInfo["isRealName"], "1");
    EXPECT_FALSE(player::findView<TolbaRealView>());
    recorder_->clear();
  }

  // Fills in the real-name panel with an adult's identity and submits it.
  void verifyAsAdult() {
    auto real = waitForPanel<TolbaRealView>();
    ASSERT_TRUE(real);
    ASSERT_TRUE(Player::type(*real->nameF(), "张三"));
    ASSERT_TRUE(Player::type(*real->codeF(), kAdultCard));
    ASSERT_TRUE(tap(*player::findButton(real, "提交")));
  }

  bool waitForNotifications(std::size_t count) {
    return runUntil([&] { return recorder_->posted().size() >= count; }) && recorder_->posted().size() == count;
  }

  std::shared_ptr<TolbaSDKGameRoleInfo> role() {
    auto role = std::make_shared<TolbaSDKGameRoleInfo>();
    role->setServerId("1");
    role->setServerName("一区");
    role->setGameRoleID("r1");
    role->setGameRoleName("hero");
    return role;
  }

  std::shared_ptr<TolbaSDKPayOrderInfo> order(const std::string& cpOrderId, float amount) {
    auto order = std::make_shared<TolbaSDKPayOrderInfo>();
    order->setCpOrderID(cpOrderId);
    order->setProductName("60钻石");
    order->setGoodsID("gems60");
    order->setAmount(amount);
    order->setCount(1);
    return order;
  }

  void injectFault(const std::string& path, sandbox::FaultMode mode) {
    server_->faults().add({path, mode, 1, 0});
  }

  const Posted& posted(std::size_t i) const { return recorder_->posted().at(i); }

  std::unique_ptr<sandbox::SandboxServer> server_;
  std::shared_ptr<TolbaSDKCore> sdk_;
  std::unique_ptr<NotificationRecorder> recorder_;
};

TEST_F(PlayerJourneyTest, WrongPasswordIsALoginFailureWithTheServersMessage) {
  registerVerifiedPlayer("bob");
  submitAccount("bob", "not-the-password", false);
  ASSERT_TRUE(waitForNotifications(1));
  EXPECT_EQ(posted(0).name, kTolbaSDKNotiLogin);
  EXPECT_EQ(posted(0).userInfo["error"], -2);
  ASSERT_TRUE(posted(0).userInfo.contains("msg"));
  EXPECT_FALSE(posted(0).userInfo["msg"].get<std::string>().empty());
  EXPECT_FALSE(player::findView<TolbaLoginView>());
}

TEST_F(PlayerJourneyTest, SignInWithAStaleLoginIsRefused) {
  // The player logs in (unverified, so the real-name panel waits); meanwhile the
  // same account logs in on another device, which makes this login stale.
  submitAccount("carol", kPassword, true);
  auto real = waitForPanel<TolbaRealView>();
  ASSERT_TRUE(real);
  auto account = server_->store().accountByName("carol");
  ASSERT_TRUE(account);
  ASSERT_TRUE(server_->store().recordLogin(account->uid, "signature-of-another-device", "1", "another-device"));

  ASSERT_TRUE(tap(*player::findButton(real, "取消")));
  ASSERT_TRUE(waitForNotifications(2));
  EXPECT_EQ(posted(0).name, kTolbaSDKNotiLogin);
  EXPECT_EQ(posted(0).userInfo["error"], -3);
  EXPECT_TRUE(posted(0).userInfo.contains("msg"));
  EXPECT_EQ(posted(1).name, kTolbaSDKNotiRealAuth);
  EXPECT_EQ(posted(1).userInfo["isRealName"], "0");
  EXPECT_EQ(posted(1).userInfo["age"], "-1");
  EXPECT_FALSE(sdk_->username().has_value());
}

TEST_F(PlayerJourneyTest, UnreadableSignInReplyIsAnInterfaceError) {
  registerVerifiedPlayer("dave");
  injectFault("sdkstandard/login/index", sandbox::FaultMode::Garbage);
  submitAccount("dave", kPassword, false);
  ASSERT_TRUE(waitForNotifications(2));
  EXPECT_EQ(posted(0).name, kTolbaSDKNotiLogin);
  EXPECT_EQ(posted(0).userInfo, (Json{{"error", -2}}));
  EXPECT_EQ(posted(1).name, kTolbaSDKNotiRealAuth);
  EXPECT_EQ(posted(1).userInfo["isRealName"], "0");
  EXPECT_EQ(posted(1).userInfo["age"], "-1");
}

TEST_F(PlayerJourneyTest, CoinPaymentThenTooFewCoins) {
  registerVerifiedPlayer("erin");  // starts with 100 coins
  ASSERT_EQ(sdk_->payOrderInfo(order("cp-1", 6), role()), 0);
  auto pay = waitForPanel<TolbaPayView>();
  ASSERT_TRUE(pay);
  ASSERT_TRUE(tap(*pay->ptbBtn()));
  ASSERT_TRUE(waitForNotifications(1));
  EXPECT_EQ(posted(0).name, kTolbaSDKNotiRecharge);
  EXPECT_EQ(posted(0).userInfo["error"], 0);
  EXPECT_EQ(posted(0).userInfo["msg"], "Pay success");
  EXPECT_EQ(posted(0).userInfo["cpOrderId"], "cp-1");
  EXPECT_TRUE(posted(0).userInfo.contains("orderId"));
  ASSERT_TRUE(runUntil([] { return !player::findView<TolbaPayView>(); }));

  recorder_->clear();
  ASSERT_EQ(sdk_->payOrderInfo(order("cp-2", 648), role()), 0);
  pay = waitForPanel<TolbaPayView>();
  ASSERT_TRUE(pay);
  ASSERT_TRUE(tap(*pay->ptbBtn()));
  ASSERT_TRUE(waitForNotifications(1));
  EXPECT_EQ(posted(0).userInfo["error"], -400);
  EXPECT_EQ(posted(0).userInfo["msg"], "Pay fail");
  EXPECT_EQ(posted(0).userInfo["cpOrderId"], "cp-2");
}

TEST_F(PlayerJourneyTest, ClosingThePayCentreCancels) {
  registerVerifiedPlayer("frank");
  ASSERT_EQ(sdk_->payOrderInfo(order("cp-9", 6), role()), 0);
  auto pay = waitForPanel<TolbaPayView>();
  ASSERT_TRUE(pay);
  ASSERT_TRUE(tap(*player::findButton(pay, "关闭")));
  ASSERT_TRUE(waitForNotifications(1));
  EXPECT_EQ(posted(0).name, kTolbaSDKNotiRecharge);
  EXPECT_EQ(posted(0).userInfo["error"], -401);
  EXPECT_EQ(posted(0).userInfo["msg"], "Pay cancel");
  EXPECT_EQ(posted(0).userInfo["cpOrderId"], "cp-9");
  EXPECT_TRUE(posted(0).userInfo.contains("orderId"));
}

TEST_F(PlayerJourneyTest, RefusedAndUnreadableOrdersOpenNoPayCentre) {
  registerVerifiedPlayer("grace");
  ASSERT_EQ(sdk_->payOrderInfo(order("cp-0", 0), role()), 0);  // not a positive amount
  ASSERT_TRUE(waitForNotifications(1));
  EXPECT_EQ(posted(0).name, kTolbaSDKNotiRecharge);
  EXPECT_EQ(posted(0).userInfo["error"], -400);
  EXPECT_EQ(posted(0).userInfo["cpOrderId"], "cp-0");
  EXPECT_FALSE(posted(0).userInfo.contains("orderId"));

  recorder_->clear();
  injectFault("sdkstandard/pay/index", sandbox::FaultMode::Garbage);
  ASSERT_EQ(sdk_->payOrderInfo(order("cp-3", 6), role()), 0);
  ASSERT_TRUE(waitForNotifications(1));
  EXPECT_EQ(posted(0).userInfo, (Json{{"error", -400}, {"msg", "服务器连接错误"}, {"cpOrderId", "cp-3"}}));
  drain();
  EXPECT_FALSE(player::findView<TolbaPayView>());
}

TEST_F(PlayerJourneyTest, SwitchingAccountAndLoggingBackInSkipsTheRealNamePanel) {
  registerVerifiedPlayer("heidi");
  auto floating = TolbaFloatView::shareInstance();
  advance(2);  // the button parks at the edge
  ASSERT_TRUE(tap(*floating->mainBtn()));
  ASSERT_TRUE(tap(*floating->mainBtn()));
  ASSERT_TRUE(waitForNotifications(1));
  EXPECT_EQ(posted(0).name, kTolbaSDKNotiLogout);

  recorder_->clear();
  submitAccount("heidi", kPassword, false);
  ASSERT_TRUE(waitForNotifications(2));
  EXPECT_EQ(posted(0).name, kTolbaSDKNotiLogin);
  EXPECT_EQ(posted(0).userInfo["error"], 0);
  EXPECT_EQ(posted(1).name, kTolbaSDKNotiRealAuth);
  EXPECT_EQ(posted(1).userInfo["isRealName"], "1");
  EXPECT_FALSE(player::findView<TolbaRealView>());

  recorder_->clear();
  ASSERT_EQ(sdk_->logout(), 0);
  ASSERT_TRUE(waitForNotifications(1));
  EXPECT_EQ(posted(0).name, kTolbaSDKNotiLogout);
}

}  // namespace
}  // namespace tolba::testing
