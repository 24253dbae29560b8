#include <gtest/gtest.h>

#include "net/http_client.h"
#include "sdk/TolbaSDKCore.h"
#include "sdk/unsettled_orders.h"
#include "support/fake_presenter.h"
#include "support/loopback_server.h"
#include "support/sdk_fixture.h"
#include "tolba/platform/user_defaults.h"

namespace tolba {
namespace {

using testing::FakePresenter;
using testing::NotificationRecorder;
using Json = nlohmann::json;

struct PaymentFlowTest : testing::SdkTest {
  std::shared_ptr<FakePresenter> panels = std::make_shared<FakePresenter>();
  std::shared_ptr<TolbaSDKCore> sdk;
  NotificationRecorder rec{{kTolbaSDKNotiRecharge}};
  std::shared_ptr<TolbaSDKPayOrderInfo> order = std::make_shared<TolbaSDKPayOrderInfo>();
  std::shared_ptr<TolbaSDKGameRoleInfo> role = std::make_shared<TolbaSDKGameRoleInfo>();
  std::unique_ptr<testing::LoopbackServer> server;

  void SetUp() override {
    SdkTest::SetUp();
    PanelPresenter::setCurrent(panels);
    // The server answers nothing until the test ends: the test drives the
    // replies by hand (scripted replies go first).
    server = std::make_unique<testing::LoopbackServer>();
    server->setResponder([](const auto&) { return testing::LoopbackServer::Reply::json({}).untilReleased(); });
    sdk = initialisedSdk(server->baseUrl());
    order->setCpOrderID("cp-1");
    order->setProductName("钻石");
    order->setCount(60);
    order->setAmount(6.0f);
  }
  void TearDown() override {
    server.reset();
    runUntil([] { return HttpClient::shared().inFlight() == 0; });
    drain();
    PanelPresenter::setCurrent(nullptr);
    SdkTest::TearDown();
  }
  void signIn() { sdk->signInDidReply(Json{{"a", 1}, {"c", {{"username", "u"}}}}); }
  // Submits `order` and accepts it as order `orderId`; the pay centre is then open.
  TolbaPaymentPtr accepted(const std::shared_ptr<TolbaSDKPayOrderInfo>& o, const std::string& orderId) {
    EXPECT_EQ(sdk->payOrderInfo(o, role), 0);
    auto payment = sdk->payment();
    EXPECT_TRUE(payment);
    if (payment) sdk->orderDidReply(payment, Json{{"a", 1}, {"c", {{"orderid", orderId}}}});
    drain();
    return payment;
  }
  // Answers every order query with `state` ("" answers nothing readable).
  void answerQueries(const std::string& state) {
    server->setResponder([state](const testing::LoopbackServer::Request& r) {
      if (r.target != "/sdkmini/pay/query" || state.empty()) return testing::LoopbackServer::Reply::raw("?");
      return testing::LoopbackServer::Reply::json({{"z", 1}, {"state", state}});
    });
  }
};

TEST_F(PaymentFlowTest, NeedsASignedInPlayerAndNormalisesTheOrderInPlace) {
  EXPECT_EQ(sdk->payOrderInfo(order, role), -301);
  EXPECT_FALSE(order->sign().has_value());  // nothing touched before sending
  signIn();
  EXPECT_EQ(sdk->payOrderInfo(order, role), 0);
  EXPECT_EQ(order->sign(), "");
  EXPECT_EQ(order->productDesc(), "60钻石");
  EXPECT_EQ(sdk->payment()->order, order);

  auto described = std::make_shared<TolbaSDKPayOrderInfo>();
  described->setProductDesc("kept");
  sdk->payOrderInfo(described, role);
  EXPECT_EQ(described->productDesc(), "kept");
  auto unnamed = std::make_shared<TolbaSDKPayOrderInfo>();
  unnamed->setCount(3);
  sdk->payOrderInfo(unnamed, role);
  EXPECT_EQ(unnamed->productDesc(), "3(null)");
}

TEST_F(PaymentFlowTest, AnAcceptedOrderOpensThePayCentreLaterAndReportsItsResult) {
  signIn();
  sdk->payOrderInfo(order, role);
  sdk->orderDidReply(sdk->payment(), Json{{"a", 1}, {"c", {{"orderid", "A-100"}}}});
  EXPECT_EQ(panels->payPanels, 0);  // opened from a later turn of the loop
  drain();
  ASSERT_EQ(panels->payPanels, 1);
  EXPECT_EQ(panels->payOrderId, "A-100");
  EXPECT_TRUE(rec.posted().empty());
  panels->payCompletion(Json{{"code", "0"}});
  drain();
  ASSERT_EQ(rec.posted().size(), 1u);
  EXPECT_EQ(rec.posted()[0].userInfo,
            (Json{{"error", 0}, {"msg", "Pay success"}, {"cpOrderId", "cp-1"}, {"orderId", "A-100"}}));
  EXPECT_FALSE(sdk->payment());
}

TEST_F(PaymentFlowTest, PayCentreCodesMapToTheGamesErrors) {
  signIn();
  const struct {
    std::optional<Json> result;
    Json payload;
  } cases[] = {
      {Json{{"code", "-1"}}, {{"error", -400}, {"msg", "Pay fail"}}},
      {Json{{"code", "-2"}}, {{"error", -401}, {"msg", "Pay cancel"}}},
      {std::nullopt, {{"error", -400}, {"msg", "Pay fail"}}},
      {Json{{"code", "-1"}, {"outcome", "unknown"}}, {{"error", -400}, {"msg", "Pay fail"}, {"outcome", "unknown"}}},
  };
  for (const auto& c : cases) {
    rec.clear();
    auto payment = accepted(order, "55");
    sdk->doPayNotiWithResult(payment, c.result);
    drain();
    ASSERT_EQ(rec.posted().size(), 1u);
    Json expected = c.payload;
    expected["cpOrderId"] = "cp-1";
    expected["orderId"] = "55";
    EXPECT_EQ(rec.posted()[0].userInfo, expected);
  }
  // Only the payment nobody could settle is kept to be asked about again.
  EXPECT_EQ(UnsettledOrders::list().size(), 1u);
}

TEST_F(PaymentFlowTest, RefusedAndUnreadableOrdersReportMinus400WithoutAPayCentre) {
  signIn();
  for (const auto& reply : {std::optional<Json>(Json{{"a", 0}, {"b", "金额错误"}}), std::optional<Json>(),
                            std::optional<Json>(Json{{"a", 1}, {"c", "x"}})}) {
    sdk->payOrderInfo(order, role);
    sdk->orderDidReply(sdk->payment(), reply);
  }
  drain();
  EXPECT_EQ(panels->payPanels, 0);
  ASSERT_EQ(rec.posted().size(), 3u);
  EXPECT_EQ(rec.posted()[0].userInfo, (Json{{"error", -400}, {"msg", "金额错误"}, {"cpOrderId", "cp-1"}}));
  EXPECT_EQ(rec.posted()[1].userInfo, (Json{{"error", -400}, {"msg", "服务器连接错误"}, {"cpOrderId", "cp-1"}}));
  EXPECT_EQ(rec.posted()[2].userInfo, rec.posted()[1].userInfo);
  EXPECT_EQ(panels->warnings, (std::vector<std::optional<std::string>>{"金额错误", "接口异常", "接口异常"}));
}

TEST_F(PaymentFlowTest, TwoOrdersInOneTickEachEndWithTheirOwnIds) {
  signIn();
  auto second = std::make_shared<TolbaSDKPayOrderInfo>();
  second->setCpOrderID("cp-2");
  second->setAmount(30);
  ASSERT_EQ(sdk->payOrderInfo(order, role), 0);
  auto first = sdk->payment();
  ASSERT_EQ(sdk->payOrderInfo(second, role), 0);
  drain();
  ASSERT_EQ(rec.posted().size(), 1u);
  EXPECT_EQ(rec.posted()[0].userInfo,
            (Json{{"error", -400}, {"msg", "Pay fail"}, {"outcome", "busy"}, {"cpOrderId", "cp-2"}}));
  EXPECT_EQ(sdk->payment(), first);
  sdk->orderDidReply(first, Json{{"a", 1}, {"c", {{"orderid", "A-1"}}}});
  drain();
  panels->payCompletion(Json{{"code", "0"}});
  drain();
  ASSERT_EQ(rec.posted().size(), 2u);
  EXPECT_EQ(rec.posted()[1].userInfo["cpOrderId"], "cp-1");
  EXPECT_EQ(rec.posted()[1].userInfo["orderId"], "A-1");
  EXPECT_EQ(accepted(second, "A-2")->order, second) << "the next payment may start once the first has ended";
}

TEST_F(PaymentFlowTest, WithoutAKeyWindowThePaymentAndTheLoginFailAtOnce) {
  signIn();
  drain();
  panels->hasWindow = false;
  NotificationRecorder logins{{kTolbaSDKNotiLogin}};
  EXPECT_EQ(sdk->payOrderInfo(order, role), 0);
  EXPECT_EQ(sdk->login(), 0);
  drain();
  ASSERT_EQ(rec.posted().size(), 1u);
  EXPECT_EQ(rec.posted()[0].userInfo, (Json{{"error", -400}, {"msg", "Pay fail"}, {"cpOrderId", "cp-1"}}));
  ASSERT_EQ(logins.posted().size(), 1u);
  EXPECT_EQ(logins.posted()[0].userInfo["error"], -2);
  EXPECT_TRUE(log_->contains("TolbaLog:payOrderInfo: no key window to show the pay centre in; the payment fails"));
  EXPECT_EQ(server->requestCount(), 0u);
}

TEST_F(PaymentFlowTest, AnUnsettledOrderSurvivesARestartAndIsReportedLateOnce) {
  signIn();
  auto payment = accepted(order, "A-9");
  sdk->doPayNotiWithResult(payment, Json{{"code", "-1"}, {"outcome", "unknown"}});
  // The order request's own late reply must not report the payment a second time.
  server->release();
  ASSERT_TRUE(runUntil([] { return HttpClient::shared().inFlight() == 0; }));
  drain();
  ASSERT_EQ(rec.posted().size(), 1u);
  rec.clear();

  // The process ends; the next one starts against a server that now knows the
  // order was paid.
  platform::UserDefaults::closeStandard();
  TolbaSDKCore::resetForTesting();
  answerQueries("paid");
  sdk = initialisedSdk(server->baseUrl());
  ASSERT_TRUE(runUntil([&] { return !rec.posted().empty(); }));
  EXPECT_EQ(rec.posted()[0].userInfo,
            (Json{{"error", 0}, {"msg", "Pay success"}, {"cpOrderId", "cp-1"}, {"orderId", "A-9"}, {"late", "1"}}));
  signIn();  // a sign-in asks again, but nothing is left to ask about
  advance(1);
  EXPECT_EQ(rec.posted().size(), 1u);
  EXPECT_TRUE(UnsettledOrders::list().empty());
}

TEST_F(PaymentFlowTest, RoleReportsNeedASignedInPlayer) {
  sdk->updateRoleInfoWith(role, true);
  EXPECT_TRUE(log_->contains("TolbaLog:渠道sdk用户已退出，上报没有意义了"));
}

}  // namespace
}  // namespace tolba
