#include <gtest/gtest.h>

#include "net/http_client.h"
#include "support/fake_presenter.h"
#include "support/loopback_server.h"
#include "support/sdk_fixture.h"
#include "sdk/TolbaSDKCore.h"

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
};

TEST_F(PaymentFlowTest, NeedsASignedInPlayerAndNormalisesTheOrderInPlace) {
  EXPECT_EQ(sdk->payOrderInfo(order, role), -301);
  EXPECT_FALSE(order->sign().has_value());  // nothing touched before sending
  signIn();
  EXPECT_EQ(sdk->payOrderInfo(order, role), 0);
  EXPECT_EQ(order->sign(), "");
  EXPECT_EQ(order->productDesc(), "60钻石");
  EXPECT_EQ(sdk->orderInfo(), order);

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
  sdk->orderDidReply(order, Json{{"a", 1}, {"c", {{"orderid", "A-100"}}}});
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
}

TEST_F(PaymentFlowTest, PayCentreCodesMapToTheGamesErrors) {
  signIn();
  sdk->payOrderInfo(order, role);
  sdk->orderDidReply(order, Json{{"a", 1}, {"c", {{"orderid", 55}}}});
  sdk->doPayNotiWithResult(Json{{"code", "-1"}});
  sdk->doPayNotiWithResult(Json{{"code", "-2"}});
  sdk->doPayNotiWithResult(std::nullopt);
  drain();
  ASSERT_EQ(rec.posted().size(), 3u);
  EXPECT_EQ(rec.posted()[0].userInfo["error"], -400);
  EXPECT_EQ(rec.posted()[0].userInfo["msg"], "Pay fail");
  EXPECT_EQ(rec.posted()[0].userInfo["orderId"], "55");
  EXPECT_EQ(rec.posted()[1].userInfo["error"], -401);
  EXPECT_EQ(rec.posted()[1].userInfo["msg"], "Pay cancel");
  EXPECT_EQ(rec.posted()[2].userInfo["error"], -400);
}

TEST_F(PaymentFlowTest, RefusedAndUnreadableOrdersReportMinus400WithoutAPayCentre) {
  signIn();
  sdk->payOrderInfo(order, role);
  sdk->orderDidReply(order, Json{{"a", 0}, {"b", "金额错误"}});
  sdk->orderDidReply(order, std::nullopt);
  sdk->orderDidReply(order, Json{{"a", 1}, {"c", "x"}});
  drain();
  EXPECT_EQ(panels->payPanels, 0);
  ASSERT_EQ(rec.posted().size(), 3u);
  EXPECT_EQ(rec.posted()[0].userInfo, (Json{{"error", -400}, {"msg", "金额错误"}, {"cpOrderId", "cp-1"}}));
  EXPECT_EQ(rec.posted()[1].userInfo, (Json{{"error", -400}, {"msg", "服务器连接错误"}, {"cpOrderId", "cp-1"}}));
  EXPECT_EQ(rec.posted()[2].userInfo, rec.posted()[1].userInfo);
  EXPECT_EQ(panels->warnings, (std::vector<std::optional<std::string>>{"金额错误", "接口异常", "接口异常"}));
}

TEST_F(PaymentFlowTest, RoleReportsNeedASignedInPlayer) {
  sdk->updateRoleInfoWith(role, true);
  EXPECT_TRUE(log_->contains("TolbaLog:渠道sdk用户已退出，上报没有意义了"));
}

}  // namespace
}  // namespace tolba
