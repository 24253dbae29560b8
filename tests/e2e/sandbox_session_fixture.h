#pragma once
// A session against the sandbox server over loopback HTTP, as a game sees it: a
// fresh sandbox with its own database, a key window, an initialised facade, a
// recorder of the game's notifications, and a scripted player in the SDK's own
// panels.

#include <memory>
#include <string>
#include <vector>

#include "sandbox_server.h"
#include "sdk/TolbaSDKCore.h"
#include "support/ui_fixture.h"
#include "tolba/TolbaSDKGameRoleInfo.h"
#include "tolba/TolbaSDKPayOrderInfo.h"
#include "tolba/player/find_view.h"
#include "tolba/player/player.h"
#include "toolkit/button.h"
#include "toolkit/switch.h"
#include "toolkit/text_field.h"
#include "ui/TolbaLoginView.h"
#include "ui/TolbaRealView.h"

namespace tolba::testing {

inline constexpr char kPassword[] = "secret-1";
inline constexpr char kAdultCard[] = "110105199003071239";

inline const std::vector<std::string> kGameNotifications = {kTolbaSDKNotiLogin, kTolbaSDKNotiLogout,
                                                            kTolbaSDKNotiRecharge, kTolbaSDKNotiRealAuth};

class SandboxSessionTest : public UiTest {
 public:
  using Json = nlohmann::json;
  using Player = player::Player;

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

  const Posted& posted(std::size_t i) const { return recorder_->posted().at(i); }

  std::unique_ptr<sandbox::SandboxServer> server_;
  std::shared_ptr<TolbaSDKCore> sdk_;
  std::unique_ptr<NotificationRecorder> recorder_;
};

}  // namespace tolba::testing
