// Fault drills: each fault the sandbox can play, on each endpoint a player or
// the game waits on (sign-in, order, coin payment, WeChat order, balance,
// logout), driven end to end through the facade and the SDK's panels. In every
// drill the wait ends: no crash, no hang, no success reported for a failure,
// exactly one report, and a screen on which the player can act.
//
// The transport's limits are shortened (0.8 s idle time, 256 KiB replies), so a
// drill that waits for a time-out waits a fraction of a second of real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <ostream>

#include "e2e/sandbox_session_fixture.h"
#include "net/http_client.h"
#include "toolkit/application.h"
#include "toolkit/label.h"
#include "ui/TolbaPayView.h"
#include "ui/network_failure_texts.h"

namespace tolba::testing {
namespace {

using sandbox::FaultMode;

// What a fault amounts to for the client.
enum class Outcome {
  Normal,      // the reply is decoded and used
  Unreadable,  // a reply arrives but cannot be read
  NoAnswer,    // the request fails in transport
};

struct Fault {
  const char* name;
  FaultMode mode;
  double seconds;
  Outcome outcome;
};

const Fault kFaults[] = {
    {"DelayedPastTheTimeOut", FaultMode::Delay, 1.5, Outcome::NoAnswer},
    {"Status500Empty", FaultMode::Status500Empty, 0, Outcome::Unreadable},
    {"Status500WithAValidBody", FaultMode::Status500Valid, 0, Outcome::Normal},
    {"Garbage", FaultMode::Garbage, 0, Outcome::Unreadable},
    {"ClosedMidReply", FaultMode::Close, 0, Outcome::NoAnswer},
    {"LineBreaksInTheBase64", FaultMode::LineBreaks, 0, Outcome::Unreadable},
    {"EndlessTrickle", FaultMode::Trickle, 0.05, Outcome::NoAnswer},
    {"LargerThanTheSizeBound", FaultMode::Oversized, 0, Outcome::NoAnswer},
};

void PrintTo(const Fault& fault, std::ostream* os) { *os << fault.name; }

class FaultDrillTest : public SandboxSessionTest, public ::testing::WithParamInterface<Fault> {
 protected:
  void SetUp() override {
    SandboxSessionTest::SetUp();
    HttpClient::shared().setTimeouts({std::chrono::milliseconds(2000), std::chrono::milliseconds(800)});
    HttpClient::shared().setMaxReplyBytes(256 * 1024);
    TolbaPayView::setPaymentPageTimeout(1);
    // WeChat of these drills: the player pays nothing there and comes straight back.
    app().registerSchemeHandler("weixin", [](const std::string&) {
      platform::postToMain([] { platform::Application::shared().becomeActive(); });
      return true;
    });
  }
  void TearDown() override {
    server_->faults().clear();
    endOfDrill();
    HttpClient::shared().setTimeouts({});
    HttpClient::shared().setMaxReplyBytes(HttpClient::kMaxReplyBytes);
    TolbaPayView::setPaymentPageTimeout(60);
    SandboxSessionTest::TearDown();
  }

  Outcome outcome() const { return GetParam().outcome; }
  void inject(const char* path) { server_->faults().add({path, GetParam().mode, 1, GetParam().seconds, ""}); }

  // Lets every request end and whatever it posts run, and some virtual time
  // pass (toasts fade, the pay centre's page timer would fire).
  void endOfDrill() {
    // The network thread does not wake the main loop when its count drops, so
    // the count is looked at every few milliseconds.
    for (int i = 0; i < 800 && HttpClient::shared().inFlight() != 0; ++i) {
      runUntil([] { return HttpClient::shared().inFlight() == 0; }, 0.025);
    }
    EXPECT_EQ(HttpClient::shared().inFlight(), 0u);
    drain();
    advance(3);
  }

  // Exactly one notification of `name` comes, and no other one follows it. The
  // texts on screen when it came are kept in `screen_`.
  Json oneReport(const char* name) {
    // Questions about a payment are asked again after a while: time moves on
    // whenever nothing is in flight, at no more than twice the pace of the
    // server's (a delayed payment still being made there).
    for (int i = 0; i < 400 && recorder_->posted().empty(); ++i) {
      const bool idle = HttpClient::shared().inFlight() == 0;
      runUntil([&] { return !recorder_->posted().empty(); }, idle ? 0.25 : 0.025);
      if (idle && recorder_->posted().empty()) advance(0.5);
    }
    EXPECT_FALSE(recorder_->posted().empty());
    screen_.clear();
    collectTexts(*app().keyWindow());
    endOfDrill();
    EXPECT_EQ(recorder_->names(), std::vector<std::string>{name});
    Json payload = recorder_->posted().empty() ? Json() : recorder_->posted().front().userInfo;
    recorder_->clear();
    return payload;
  }

  void collectTexts(const platform::View& view) {
    if (auto* label = dynamic_cast<const platform::Label*>(&view)) screen_.push_back(label->text());
    for (const auto& sub : view.subviews()) collectTexts(*sub);
  }
  bool wasShown(const std::string& text) const {
    return std::find(screen_.begin(), screen_.end(), text) != screen_.end();
  }

  std::shared_ptr<TolbaPayView> openPayCentre(const std::string& cpOrderId) {
    EXPECT_EQ(sdk_->payOrderInfo(order(cpOrderId, 6), role()), 0);
    return waitForPanel<TolbaPayView>();
  }
  // The balance (and with it the WeChat button) has come, or its request ended.
  void waitForBalance(const std::shared_ptr<TolbaPayView>& pay) {
    runUntil([&] { return pay->ptbL()->text() != "平台币余额：0"; }, 2);
  }

  // The payment notification of a pay centre whose payment request met the
  // fault. A coin payment the server took is paid whatever became of its reply:
  // the SDK asks. The drills' WeChat pays nothing, so an order that reached it
  // is cancelled there.
  void expectPaymentOutcome(const Json& payload, const std::string& cpOrderId, bool coins) {
    EXPECT_EQ(payload.value("cpOrderId", ""), cpOrderId);
    EXPECT_TRUE(payload.contains("orderId"));
    if (coins) {
      EXPECT_EQ(payload["error"], 0);
      EXPECT_EQ(payload["msg"], "Pay success");
    } else if (outcome() == Outcome::Normal) {
      EXPECT_EQ(payload["error"], -401);
      EXPECT_EQ(payload["msg"], "Pay cancel");
    } else {
      EXPECT_EQ(payload["error"], -400);
      EXPECT_EQ(payload["msg"], "Pay fail");
      EXPECT_EQ(payload.value("outcome", ""), outcome() == Outcome::NoAnswer ? "unknown" : "");
      if (outcome() == Outcome::NoAnswer) {
        EXPECT_TRUE(wasShown(kPaymentNetworkFailedToast));
      }
    }
    EXPECT_FALSE(player::findView<TolbaPayView>());  // the cover went with the panel
  }

  void balanceDrill() {
    inject("sdkmini/pay/getPayWay");
    auto pay = openPayCentre("cp-balance");
    ASSERT_TRUE(pay);
    endOfDrill();
    EXPECT_EQ(pay->ptbL()->text(), outcome() == Outcome::Normal ? "平台币余额：100.00" : "平台币余额：0");
    EXPECT_TRUE(recorder_->posted().empty());
    // The player can still act: closing the pay centre cancels.
    ASSERT_TRUE(tap(*pay->closeBtn()));
    const Json payload = oneReport(kTolbaSDKNotiRecharge);
    EXPECT_EQ(payload["error"], -401);
  }

  void coinPaymentDrill() {
    auto pay = openPayCentre("cp-coin");
    ASSERT_TRUE(pay);
    waitForBalance(pay);
    inject("sdkmini/ttbpay/ttbnew");
    ASSERT_TRUE(tap(*pay->ptbBtn()));
    Player::becomeActive();  // coming back to the game meanwhile settles nothing
    expectPaymentOutcome(oneReport(kTolbaSDKNotiRecharge), "cp-coin", true);
  }

  void weChatOrderDrill() {
    auto pay = openPayCentre("cp-wx");
    ASSERT_TRUE(pay);
    waitForBalance(pay);
    ASSERT_FALSE(pay->wxBtn()->isHidden());
    inject("sdkmini/wxh5/h5pay");
    ASSERT_TRUE(tap(*pay->wxBtn()));
    Player::becomeActive();  // not handed to WeChat yet: not paid
    expectPaymentOutcome(oneReport(kTolbaSDKNotiRecharge), "cp-wx", false);
  }

  void orderDrill() {
    inject("sdkstandard/pay/index");
    ASSERT_EQ(sdk_->payOrderInfo(order("cp-order", 6), role()), 0);
    if (outcome() == Outcome::Normal) {
      auto pay = waitForPanel<TolbaPayView>();
      ASSERT_TRUE(pay);
      ASSERT_TRUE(tap(*pay->closeBtn()));
      EXPECT_EQ(oneReport(kTolbaSDKNotiRecharge)["error"], -401);
      return;
    }
    EXPECT_EQ(oneReport(kTolbaSDKNotiRecharge),
              (Json{{"error", -400}, {"msg", "服务器连接错误"}, {"cpOrderId", "cp-order"}}));
    EXPECT_TRUE(wasShown(outcome() == Outcome::NoAnswer ? kNetworkFailedToast : "接口异常"));
    EXPECT_FALSE(player::findView<TolbaPayView>());
  }

  void signInDrill(const std::string& name) {
    inject("sdkstandard/login/index");
    submitAccount(name, kPassword, false);
    ASSERT_TRUE(runUntil([&] { return recorder_->posted().size() >= 2; }));
    screen_.clear();
    collectTexts(*app().keyWindow());
    endOfDrill();
    ASSERT_EQ(recorder_->names(), (std::vector<std::string>{kTolbaSDKNotiLogin, kTolbaSDKNotiRealAuth}));
    const Json login = recorder_->posted()[0].userInfo;
    if (outcome() == Outcome::Normal) {
      EXPECT_EQ(login["error"], 0);
      EXPECT_EQ(recorder_->posted()[1].userInfo["isRealName"], "1");
    } else {
      EXPECT_EQ(login, (Json{{"error", -2}}));
      EXPECT_EQ(recorder_->posted()[1].userInfo["isRealName"], "0");
      EXPECT_TRUE(wasShown(outcome() == Outcome::NoAnswer ? kNetworkFailedToast : "接口异常"));
    }
    EXPECT_FALSE(player::findView<TolbaLoginView>());
    recorder_->clear();
  }

  void logoutDrill() {
    inject("sdkstandard/login/logout");
    ASSERT_EQ(sdk_->logout(), 0);
    EXPECT_EQ(oneReport(kTolbaSDKNotiLogout), (Json{{"error", 0}}));
    EXPECT_FALSE(sdk_->username());
    // The player can log in again.
    ASSERT_EQ(sdk_->login(), 0);
    auto panel = waitForPanel<TolbaLoginView>();
    ASSERT_TRUE(panel);
    panel->removeFromSuperview();
  }

  std::vector<std::string> screen_;
};

TEST_P(FaultDrillTest, EveryWaitOnTheFaultyEndpointEnds) {
  const std::string name = "drill" + std::to_string(static_cast<int>(GetParam().mode));
  registerVerifiedPlayer(name);
  struct Drill {
    const char* endpoint;
    std::function<void()> run;
  };
  const std::vector<Drill> drills = {
      {"balance", [&] { balanceDrill(); }},          {"coin payment", [&] { coinPaymentDrill(); }},
      {"WeChat order", [&] { weChatOrderDrill(); }}, {"order", [&] { orderDrill(); }},
      {"sign-in", [&] { signInDrill(name); }},       {"logout", [&] { logoutDrill(); }},
  };
  for (const auto& drill : drills) {
    SCOPED_TRACE(drill.endpoint);
    drill.run();
    if (HasFatalFailure()) return;
    EXPECT_TRUE(server_->faults().rules().empty());  // the fault was played
    server_->faults().clear();
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultDrillTest, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<Fault>& fault) { return std::string(fault.param.name); });

}  // namespace
}  // namespace tolba::testing
