// The game's view of whole sessions against the sandbox server over loopback
// HTTP: a scripted player in the SDK's own panels, and the exact notifications
// the game receives, in order, when things go right and when they go wrong.
#include <gtest/gtest.h>

#include <httplib.h>

#include <regex>
#include <string>
#include <thread>

#include "callback_receiver.h"
#include "e2e/sandbox_session_fixture.h"
#include "net/order_state_query.h"
#include "tolba/platform/run_loop.h"
#include "toolkit/application.h"
#include "ui/TolbaFloatView.h"
#include "ui/TolbaPayView.h"

namespace tolba::testing {
namespace {

using Json = nlohmann::json;
using player::Player;
using PlayerJourneyTest = SandboxSessionTest;

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

TEST_F(PlayerJourneyTest, ACoinPaymentIsReportedOnceToTheGamesServerAndNoCredentialIsLogged) {
  // The game's server: the example receiver on a loopback port.
  payment_callback::Receiver receiver("app-secret");
  httplib::Server game;
  game.Post("/paid", [&](const httplib::Request& req, httplib::Response& res) {
    const auto answer = receiver.handle(req.body);
    res.status = answer.status;
    res.set_content(answer.body, "text/plain");
    platform::postToMain([] {});  // wakes the test's run loop to look again
  });
  const int port = game.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { game.listen_after_bind(); });
  while (!game.is_running()) std::this_thread::yield();
  ASSERT_TRUE(server_->store().setGame({"1001", "http://127.0.0.1:" + std::to_string(port) + "/paid", "app-secret"}));

  registerVerifiedPlayer("frank");
  const std::string token = sdk_->token().value_or("");
  ASSERT_FALSE(token.empty());
  ASSERT_EQ(sdk_->payOrderInfo(order("cp-cb", 6), role()), 0);
  auto pay = waitForPanel<TolbaPayView>();
  ASSERT_TRUE(pay);
  ASSERT_TRUE(tap(*pay->ptbBtn()));
  ASSERT_TRUE(waitForNotifications(1));
  EXPECT_EQ(posted(0).name, kTolbaSDKNotiRecharge);
  EXPECT_EQ(posted(0).userInfo["error"], 0);
  EXPECT_EQ(posted(0).userInfo["msg"], "Pay success");
  EXPECT_EQ(posted(0).userInfo["cpOrderId"], "cp-cb");
  const std::string orderId = posted(0).userInfo.value("orderId", "");
  ASSERT_FALSE(orderId.empty());
  ASSERT_TRUE(runUntil([&] { return receiver.delivered().count(orderId) == 1; }));
  server_->stop();  // an attempt in flight is recorded before this returns
  game.stop();
  serving.join();
  EXPECT_EQ(receiver.delivered().size(), 1u);

  const std::regex sign("[0-9a-f]{64}");
  for (const auto& line : log_->lines()) {
    for (const std::string& secret :
         {std::string(kPassword), std::string(kAdultCard).substr(0, 10), std::string("张三"), token.substr(0, 12)}) {
      EXPECT_EQ(line.find(secret), std::string::npos) << secret << " in: " << line;
    }
    EXPECT_FALSE(std::regex_search(line, sign)) << line;
  }
}

TEST_F(PlayerJourneyTest, TheServerSaysHowAWeChatPaymentEndedPaidOrCancelledInWeChat) {
  registerVerifiedPlayer("grace");
  OrderStateQuery::setSettlingRetries({});  // the sandbox knows at once
  for (const bool pays : {true, false}) {
    SCOPED_TRACE(pays ? "paid in WeChat" : "cancelled in WeChat");
    recorder_->clear();
    // WeChat: pays the order through the sandbox, or not; either way the player comes back.
    app().registerSchemeHandler("weixin", [this, pays](const std::string& url) {
      if (pays) server_->openWeChat(url);
      platform::postToMain([] { platform::Application::shared().becomeActive(); });
      return true;
    });
    ASSERT_EQ(sdk_->payOrderInfo(order(pays ? "cp-wx-paid" : "cp-wx-cancel", 30), role()), 0);
    auto pay = waitForPanel<TolbaPayView>();
    ASSERT_TRUE(pay);
    ASSERT_TRUE(runUntil([&] { return !pay->wxBtn()->isHidden(); }));
    ASSERT_TRUE(tap(*pay->wxBtn()));
    ASSERT_TRUE(waitForNotifications(1));
    EXPECT_EQ(posted(0).userInfo["error"], pays ? 0 : -401);
    EXPECT_EQ(posted(0).userInfo["msg"], pays ? "Pay success" : "Pay cancel");
    runUntil([] { return !player::findView<TolbaPayView>(); });
  }
  OrderStateQuery::setSettlingRetries({1, 2, 3, 4});
}

}  // namespace
}  // namespace tolba::testing
