#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/panel_fixture.h"
#include "tolba/build_settings.h"
#include "tolba/player/player.h"
#include "toolkit/window.h"
#include "ui/TolbaPayView.h"
#include "ui/network_failure_texts.h"

namespace tolba {
namespace {

using Json = nlohmann::json;
using platform::Rect;
using player::Player;
using Reply = testing::LoopbackServer::Reply;

// Short enough for the reply naming it to fit one base64 line: the test server
// breaks longer replies into lines, which a client refuses.
const char kPage[] = "/p";
const char kWeixin[] = "weixin://wap/pay?prepayid=7";

class PayPanelTest : public testing::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    server_->setResponder([](const testing::LoopbackServer::Request&) { return Reply::json({{"z", 0}}); });
    answer("/sdkmini/pay/getPayWay", Reply::json({{"code", 1}, {"ttb", "12.5"}}));
    answer(kPage,
           Reply::raw("<html><meta http-equiv=\"refresh\" content=\"0;url=" + std::string(kWeixin) + "\"></html>"));
    app().registerSchemeHandler("weixin", [this](const std::string& url) {
      opened_.push_back(url);
      return true;
    });
  }
  void TearDown() override {
    server_->release();
    panel_.reset();
    PanelTest::TearDown();
  }

  void answer(const std::string& path, Reply reply) { server_->route(path, std::move(reply)); }
  std::vector<testing::LoopbackServer::Request> requestsTo(const std::string& target) const {
    std::vector<testing::LoopbackServer::Request> found;
    for (auto& r : server_->requests()) {
      if (r.target == target) found.push_back(r);
    }
    return found;
  }

  // Opens the pay centre as the facade does and waits for the balance to arrive
  // (for a reply that changes nothing, until `shown` holds).
  void open(float amount = 6, std::function<bool()> shown = nullptr) {
    auto order = std::make_shared<TolbaSDKPayOrderInfo>();
    order->setProductName("钻石");
    order->setAmount(amount);
    auto role = std::make_shared<TolbaSDKGameRoleInfo>();
    panel_ = TolbaPayView::present(order, role, "A100", [this](const Json& result) { results_.push_back(result); });
    ASSERT_TRUE(panel_);
    if (!shown) shown = [this] { return panel_->ptbL()->text() != "平台币余额：0"; };
    ASSERT_TRUE(runUntil(shown));
  }
  bool shown() const { return panel_->superview() == window_.get(); }
  std::vector<Json> codes(std::initializer_list<const char*> list) {
    std::vector<Json> out;
    for (auto c : list) out.push_back({{"code", c}});
    return out;
  }

  std::shared_ptr<TolbaPayView> panel_;
  std::vector<Json> results_;
  std::vector<std::string> opened_;
};

TEST_F(PayPanelTest, ShowsTheOrderAndBalanceInTheirFormats) {
  open(6);
  EXPECT_EQ(panel_->nameL()->text(), "商品名：钻石");
  EXPECT_EQ(panel_->priceL()->text(), "价格：6元");
  EXPECT_EQ(panel_->ptbL()->text(), "平台币余额：12.50");
  EXPECT_EQ(panel_->wxBtn()->currentTitle(), "微信支付(6元)");
  EXPECT_EQ(panel_->ptbBtn()->currentTitle(), "支付6平台币");
  EXPECT_EQ(requestsTo("/sdkmini/pay/getPayWay").size(), 1u);

  // The price keeps the float's own digits; the balance is rounded to two decimals.
  for (auto [amount, text] :
       std::vector<std::pair<float, std::string>>{{0.01f, "0.01"}, {6.5f, "6.5"}, {12345678, "1.234568e+07"}}) {
    panel_->orderInfo()->setAmount(amount);
    panel_->setOrderInfo(panel_->orderInfo());
    EXPECT_EQ(panel_->priceL()->text(), "价格：" + text + "元");
    EXPECT_EQ(panel_->ptbBtn()->currentTitle(), "支付" + text + "平台币");
  }
}

TEST_F(PayPanelTest, ReadsTheBalanceReplyWhateverItsTypes) {
  struct Case {
    Json reply;
    std::string line;
  };
  // "wx" 1 marks the replies that leave the line alone, so the test knows they arrived.
  const std::vector<Case> cases = {
      {{{"code", 1}}, "平台币余额：0.00"},
      {{{"code", "1"}, {"ttb", 12.345}}, "平台币余额：12.35"},
      {{{"code", 1}, {"ttb", {{"x", 1}}}}, "平台币余额：0.00"},
      {{{"code", 1}, {"ttb", "1e60"}}, "平台币余额：inf"},
      {{{"code", 0}, {"ttb", 50}, {"wx", 1}}, "平台币余额：0"},
      {{{"code", {1}}, {"ttb", 50}, {"wx", 1}}, "平台币余额：0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply.dump());
    answer("/sdkmini/pay/getPayWay", Reply::json(c.reply));
    const bool marked = c.reply.contains("wx");
    open(6, [&] { return marked ? !panel_->wxBtn()->isHidden() : panel_->ptbL()->text() != "平台币余额：0"; });
    EXPECT_EQ(panel_->ptbL()->text(), c.line);
    panel_->removeFromSuperview();
  }
}

TEST_F(PayPanelTest, OffersWeChatBesideCoinsOnlyWhenTheServerSaysSo) {
  open();
  EXPECT_TRUE(panel_->wxBtn()->isHidden());
  EXPECT_EQ(panel_->ptbBtn()->frame(), Rect(10, 245, 280, 45));
  EXPECT_FALSE(Player::tap(*panel_->wxBtn()));

  answer("/sdkmini/pay/getPayWay", Reply::json({{"code", 1}, {"ttb", 3}, {"wx", 1}}));
  panel_->removeFromSuperview();
  open();
  EXPECT_FALSE(panel_->wxBtn()->isHidden());
  EXPECT_EQ(panel_->wxBtn()->frame(), Rect(10, 245, 135, 45));
  EXPECT_EQ(panel_->ptbBtn()->frame(), Rect(155, 245, 135, 45));
}

TEST_F(PayPanelTest, CoinPaymentReportsTheServerVerdictOnceAndCloses) {
  struct Case {
    Reply reply;
    const char* code;
    const char* toast;
  };
  std::vector<Case> cases = {
      {Reply::json({{"z", 1}, {"c", "支付成功"}}), "0", "支付成功"},
      {Reply::json({{"z", 0}, {"c", "平台币余额不足"}}), "-1", "平台币余额不足"},
      {Reply::raw("not the wire format"), "-1", nullptr},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.code);
    const bool first = &c == &cases.front();
    results_.clear();
    if (first) c.reply.untilReleased();  // the server lets held replies go only once
    answer("/sdkmini/ttbpay/ttbnew", c.reply);
    open();
    const auto before = server_->requestCount();
    const auto views = window_->subviews().size();
    ASSERT_TRUE(Player::tap(*panel_->ptbBtn()));
    EXPECT_TRUE(showsText(*panel_->subContentView(), "支付中..."));
    EXPECT_FALSE(Player::tap(*panel_->closeBtn()));  // under the cover

    if (first) {
      // Coming back to the game while the coins are being paid reports nothing.
      ASSERT_TRUE(runUntil([&] { return server_->requestCount() > before; }));
      Player::becomeActive();
      drain();
      EXPECT_TRUE(results_.empty());
      EXPECT_TRUE(shown());
      server_->release();
    }
    ASSERT_TRUE(runUntil([&] { return !results_.empty(); }));
    EXPECT_EQ(results_, codes({c.code}));
    const auto request = requestsTo("/sdkmini/ttbpay/ttbnew").back();
    EXPECT_EQ(request.json->value("z", ""), "MLb");
    EXPECT_EQ(request.json->value("p", ""), "6");
    if (c.toast) {
      EXPECT_TRUE(onScreen(c.toast));
    }
    EXPECT_EQ(window_->subviews().size(), views + (c.toast ? 1 : 0));  // a toast box, or none
    EXPECT_TRUE(shown());                                              // the result comes before the close
    drain();
    EXPECT_FALSE(shown());
    EXPECT_EQ(panel_->coverView()->superview(), nullptr);
    EXPECT_EQ(results_.size(), 1u);
  }
}

TEST_F(PayPanelTest, CloseButtonReportsCancelAndClosesWithOrWithoutABlock) {
  open();
  ASSERT_TRUE(Player::tap(*panel_->closeBtn()));
  Player::tap(*panel_->closeBtn());  // a second tap before the close runs
  EXPECT_EQ(results_, codes({"-2"}));
  drain();
  EXPECT_FALSE(shown());

  open();
  panel_->setCompletionBlock(nullptr);
  ASSERT_TRUE(Player::tap(*panel_->closeBtn()));
  drain();
  EXPECT_FALSE(shown());
}

TEST_F(PayPanelTest, NavigationRuleHandsWeixinAddressesToTheApplication) {
  open();
  std::vector<std::string> https;
  app().registerSchemeHandler("https", [&](const std::string& url) {
    https.push_back(url);
    return false;
  });
  auto decide = [&](const std::string& url) {
    std::optional<platform::NavigationActionPolicy> policy;
    platform::NavigationAction action;
    action.request = platform::URLRequest(url);
    panel_->decidePolicyForNavigationAction(*panel_->webView(), action, [&](auto p) { policy = p; });
    drain();
    return policy;
  };
  EXPECT_EQ(decide(kWeixin), platform::NavigationActionPolicy::Cancel);
  EXPECT_EQ(opened_, std::vector<std::string>{kWeixin});
  EXPECT_EQ(log_->count("成功"), 1u);
  // Also in the middle of an address; the open failing is only logged.
  const std::string wrapped = "https://pay.example/go?to=weixin://wap/pay";
  EXPECT_EQ(decide(wrapped), platform::NavigationActionPolicy::Cancel);
  EXPECT_EQ(https, std::vector<std::string>{wrapped});
  EXPECT_EQ(log_->count("成功"), 2u);
  EXPECT_EQ(decide("https://pay.example/page"), platform::NavigationActionPolicy::Allow);
  EXPECT_EQ(https.size(), 1u);
  EXPECT_EQ(decide(""), platform::NavigationActionPolicy::Allow);
}

TEST_F(PayPanelTest, RefusedOrUnreadableWeChatOrdersFail) {
  answer("/sdkmini/pay/getPayWay", Reply::json({{"code", 1}, {"ttb", 3}, {"wx", 1}}));
  struct Case {
    Json reply;
    const char* toast;
  };
  const std::vector<Case> cases = {
      {{{"z", 0}, {"c", "下单失败"}}, "下单失败"},
      {{{"z", 1}, {"b", 5}}, nullptr},  // accepted, but no readable page address
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply.dump());
    results_.clear();
    answer("/sdkmini/wxh5/h5pay", Reply::json(c.reply));
    open();
    const auto views = window_->subviews().size();
    ASSERT_TRUE(Player::tap(*panel_->wxBtn()));
    ASSERT_TRUE(runUntil([&] { return !results_.empty(); }));
    EXPECT_EQ(results_, codes({"-1"}));
    if (c.toast) {
      EXPECT_TRUE(onScreen(c.toast));
    }
    EXPECT_EQ(window_->subviews().size(), views + (c.toast ? 1 : 0));  // a toast box, or none
    drain();
    EXPECT_FALSE(shown());
  }
  EXPECT_EQ(log_->count("TolbaLog:WeChat order reply has no readable \"b\"; treated as refused"), 1u);
  EXPECT_TRUE(requestsTo(kPage).empty());
}

// (A payment or order request without an answer: the fault drills; how a
// payment ended and a payment page that does not hand over: the flow's tests.)
TEST_F(PayPanelTest, RotationsKeepTextsBalanceCoverAndOneReport) {
  answer("/sdkmini/pay/getPayWay", Reply::json({{"code", 1}, {"ttb", "12.5"}, {"wx", 1}}));
  answer("/sdkmini/wxh5/h5pay", Reply::json({{"z", 1}, {"b", server_->baseUrl() + kPage}}));
  open();
  // Later balance replies are refusals: what the line shows after a rotation is
  // the balance the panel already knew.
  answer("/sdkmini/pay/getPayWay", Reply::json({{"code", 0}, {"wx", 1}}));
  const auto observers =
      platform::NotificationCenter::defaultCenter().observerCount(platform::kApplicationDidBecomeActiveNotification);

  for (std::int64_t orientation : {3, 1, 4}) {
    Player::rotate(orientation);
    drain();
    EXPECT_EQ(panel_->nameL()->text(), "商品名：钻石");
    EXPECT_EQ(panel_->ptbL()->text(), "平台币余额：12.50");
    EXPECT_FALSE(panel_->wxBtn()->isHidden());
    EXPECT_EQ(panel_->ptbBtn()->frame(), Rect(155, 245, 135, 45));
  }
  EXPECT_EQ(
      platform::NotificationCenter::defaultCenter().observerCount(platform::kApplicationDidBecomeActiveNotification),
      observers);

  // A rotation while the payment page loads keeps the cover and the page.
  answer(kPage,
         Reply::raw("<meta http-equiv=\"refresh\" content=\"0;url=" + std::string(kWeixin) + "\">").untilReleased());
  ASSERT_TRUE(Player::tap(*panel_->wxBtn()));
  ASSERT_TRUE(runUntil([&] { return !requestsTo(kPage).empty(); }));
  Player::rotate(1);
  drain();
  EXPECT_FALSE(Player::tap(*panel_->closeBtn()));
  server_->release();
  ASSERT_TRUE(runUntil([&] { return !opened_.empty(); }));
  EXPECT_EQ(requestsTo(kPage).at(0).headers.at("referer"), build::kApiOrigin);

  answer("/sdkmini/pay/query", Reply::json({{"z", 1}, {"state", "paid"}}));
  Player::becomeActive();
  ASSERT_TRUE(runUntil([&] { return !results_.empty(); }));
  EXPECT_EQ(results_, codes({"0"}));
  drain();
  EXPECT_FALSE(shown());
}

}  // namespace
}  // namespace tolba
