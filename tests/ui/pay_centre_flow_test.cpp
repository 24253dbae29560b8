// The pay centre's payment without a panel: the flow against a stand-in screen
// and a loopback server.
#include "ui/pay_centre_flow.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "net/order_state_query.h"
#include "support/loopback_fixture.h"

namespace tolba {
namespace {

using Json = nlohmann::json;
using Reply = testing::LoopbackServer::Reply;
using Stage = PayCentreFlow::Stage;

struct StandInScreen : PayCentreScreen {
  void showCover(const std::optional<std::string>& text) override { covers.push_back(text.value_or("支付中...")); }
  bool loadPaymentPage(platform::URLRequest request) override {
    pages.push_back(request.url);
    return true;
  }
  void closeLater() override { ++closes; }
  std::vector<std::string> covers;
  std::vector<std::string> pages;
  int closes = 0;
};

class PayCentreFlowTest : public testing::LoopbackTest {
 protected:
  void SetUp() override {
    LoopbackTest::SetUp();
    OrderStateQuery::setSettlingRetries({});
    flow_->setMyOrderId(std::string("A100"));
    flow_->setCompletionBlock([this](const Json& result) { results_.push_back(result); });
  }
  void TearDown() override {
    OrderStateQuery::setSettlingRetries({1, 2, 3, 4});
    LoopbackTest::TearDown();
  }
  std::shared_ptr<StandInScreen> screen_ = std::make_shared<StandInScreen>();
  std::shared_ptr<PayCentreFlow> flow_ = std::make_shared<PayCentreFlow>(screen_);
  std::vector<Json> results_;
};

// How a payment ended is the server's word, asked again while the order is
// unpaid: a WeChat payment once the player is back, a coin payment whose reply
// was unreadable. Without an answer the return from WeChat counts as paid.
TEST_F(PayCentreFlowTest, TheServerSaysHowAPaymentEnded) {
  OrderStateQuery::setSettlingRetries({1, 1});
  const Reply paid = Reply::json({{"z", 1}, {"state", "paid"}});
  const Reply unpaid = Reply::json({{"z", 1}, {"state", "unpaid"}});
  const struct {
    const char* name;
    bool weChat;
    std::vector<Reply> answers;  // to the order queries, in turn; the last one repeats
    Json result;
  } cases[] = {
      {"paid", true, {paid}, {{"code", "0"}}},
      {"paid late", true, {unpaid, paid}, {{"code", "0"}}},
      {"cancelled in WeChat", true, {unpaid}, {{"code", "-2"}}},
      {"a server that does not know the query", true, {Reply::raw("unknown endpoint", 404)}, {{"code", "0"}}},
      {"coins paid after all", false, {paid}, {{"code", "0"}}},
      {"coins not paid", false, {unpaid}, {{"code", "-1"}}},
      {"coins without an answer", false, {Reply::close()}, {{"code", "-1"}, {"outcome", "unknown"}}},
  };
  server_->route("/sdkmini/wxh5/h5pay", Reply::json({{"z", 1}, {"b", "https://pay.example/p"}}));
  server_->route("/sdkmini/ttbpay/ttbnew", Reply::raw("500 Internal Server Error", 500));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    results_.clear();
    for (const auto& a : c.answers) server_->enqueue(a);
    server_->setResponder([last = c.answers.back()](const testing::LoopbackServer::Request&) { return last; });
    screen_ = std::make_shared<StandInScreen>();
    flow_ = std::make_shared<PayCentreFlow>(screen_);
    flow_->setMyOrderId(std::string("A100"));
    flow_->setCompletionBlock([this](const Json& result) { results_.push_back(result); });
    if (c.weChat) {
      flow_->returnedToForeground();  // not handed over yet: says nothing
      flow_->payWithWeChat();
      ASSERT_TRUE(runUntil([&] { return flow_->stage() == Stage::LoadingPaymentPage; }));
      EXPECT_EQ(screen_->pages, std::vector<std::string>{"https://pay.example/p"});
      flow_->weChatOpened(true);
      EXPECT_EQ(flow_->stage(), Stage::WaitingForWeChat);
      flow_->returnedToForeground();
    } else {
      flow_->payWithCoins();
    }
    for (int i = 0; results_.empty() && i < 6; ++i) {
      ASSERT_TRUE(waitForTransportIdle());
      if (results_.empty()) advance(1);  // the next question, after its retry delay
    }
    EXPECT_EQ(results_, std::vector<Json>{c.result});
    if (c.weChat) {
      EXPECT_EQ(screen_->covers, (std::vector<std::string>{"支付中...", "正在确认支付结果..."}));
    }
    EXPECT_EQ(flow_->stage(), Stage::Closed);
    EXPECT_EQ(screen_->closes, 1);
    EXPECT_EQ(server_->requests().back().json->value("y", ""), "A100");
    flow_->returnedToForeground();
    EXPECT_EQ(results_.size(), 1u);
  }
  EXPECT_EQ(log_->count("TolbaLog:without an answer from the server, the return from WeChat counts as paid"), 1u);
}

// Every way a payment page can end before WeChat takes over ends the payment
// once; a late cancel changes nothing.
TEST_F(PayCentreFlowTest, APageThatDoesNotHandOverEndsThePaymentOnce) {
  server_->setResponder([](const testing::LoopbackServer::Request&) {
    return Reply::json({{"z", 1}, {"b", "https://pay.example/p"}});
  });
  const Json unknown = {{"code", "-1"}, {"outcome", "unknown"}};
  const struct {
    const char* what;
    std::function<void(PayCentreFlow&)> end;
    Json result;
  } cases[] = {
      {"never hands over", [this](PayCentreFlow&) { advance(PayCentreFlow::paymentPageTimeout()); }, unknown},
      {"does not load", [](PayCentreFlow& flow) { flow.pageFailed("timed out"); }, unknown},
      {"WeChat is not there", [](PayCentreFlow& flow) { flow.weChatOpened(false); }, Json({{"code", "-1"}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    results_.clear();
    flow_ = std::make_shared<PayCentreFlow>(screen_);
    flow_->setCompletionBlock([this](const Json& result) { results_.push_back(result); });
    flow_->payWithWeChat();
    ASSERT_TRUE(runUntil([&] { return flow_->stage() == Stage::LoadingPaymentPage; }));
    c.end(*flow_);
    flow_->cancel();
    advance(PayCentreFlow::paymentPageTimeout());
    EXPECT_EQ(results_, std::vector<Json>{c.result});
    EXPECT_EQ(flow_->stage(), Stage::Closed);
  }
  EXPECT_EQ(screen_->closes, 3);
}

}  // namespace
}  // namespace tolba
