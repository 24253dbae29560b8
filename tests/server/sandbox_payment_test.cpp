// Payments against the sandbox: the whole journey of a player, coin payments
// and their refusals, concurrent payments, the WeChat H5 flow, and the data
// surviving a restart.

#include <atomic>
#include <thread>
#include <vector>

#include "sandbox_fixture.h"

namespace tolba::sandbox::testing {
namespace {

class SandboxPaymentTest : public SandboxTest {
 protected:
  // Signs in a fresh account and submits one order; returns its number.
  std::string orderFor(const std::string& name, const std::string& amount, ChannelLogin* l) {
    username_ = signedInAccount(name, l);
    return submitOrder(username_, "cp-" + name, amount);
  }

  std::string username_;
};

TEST_F(SandboxPaymentTest, CoinPaymentRefusalsLeaveTheBalanceAlone) {
  options_.startingCoins = 1000;  // 10 coins
  startServer();
  ChannelLogin l;
  const std::string cheap = orderFor("alice", "6", &l);
  const std::string dear = submitOrder(username_, "cp-dear", "12");
  ChannelLogin other;
  const std::string othersOrder = orderFor("bob", "1", &other);

  const std::tuple<std::string, Json, const char*> cases[] = {
      {dear, "12", "平台币余额不足"},
      {cheap, "5", "支付金额与订单金额不符"},
      {"TB-no-such-order", "6", "订单不存在"},
      {othersOrder, "1", "订单不存在"},
      {cheap, Json(), "缺少金额"},
  };
  for (const auto& [orderId, amount, message] : cases) {
    const Json reply = call("sdkmini/ttbpay/ttbnew", payRequest(l.uid, orderId, amount));
    EXPECT_EQ(reply.value("z", -1), 0) << orderId << " " << amount.dump();
    EXPECT_EQ(reply.value("c", ""), message) << reply.dump();
  }
  EXPECT_EQ(balance(l.uid)["ttb"], 10);

  // The amount may come as a number too; a second payment is refused.
  EXPECT_EQ(call("sdkmini/ttbpay/ttbnew", payRequest(l.uid, cheap, 6))["z"], 1);
  EXPECT_EQ(call("sdkmini/ttbpay/ttbnew", payRequest(l.uid, cheap, "6"))["c"], "订单已支付");
  EXPECT_EQ(balance(l.uid)["ttb"], 4);
}

TEST_F(SandboxPaymentTest, HundredConcurrentPaymentsOfOneOrderChargeItOnce) {
  constexpr int kPayments = 100;
  options_.startingCoins = 100 * 100;
  options_.maxConnectionsPerAddress = kPayments;  // all at once, from one address
  startServer();
  ChannelLogin l;
  const std::string orderId = orderFor("alice", "6", &l);
  const auto body = TolbaDataFunc::codingJSON(payRequest(l.uid, orderId, "6"));

  std::atomic<int> paid{0};
  std::atomic<int> refused{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kPayments; ++i) {
    threads.emplace_back([&] {
      const auto res = postRaw("sdkmini/ttbpay/ttbnew", *body);
      const auto reply = res ? TolbaDataFunc::decodingJSON(res->body) : std::nullopt;
      if (reply) ++((*reply)["z"] == 1 ? paid : refused);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(paid.load(), 1);
  EXPECT_EQ(refused.load(), kPayments - 1) << "every request gets a readable reply";
  EXPECT_EQ(balance(l.uid)["ttb"], 94);
}

TEST_F(SandboxPaymentTest, ConcurrentPaymentsOfManyOrdersNeverOverdraw) {
  options_.startingCoins = 50 * 100;
  startServer();
  ChannelLogin l;
  username_ = signedInAccount("alice", &l);
  std::atomic<int> paid{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 12; ++i) {  // 12 x 10 coins against a balance of 50
    threads.emplace_back([&, orderId = submitOrder(username_, "cp-" + std::to_string(i), "10")] {
      if (call("sdkmini/ttbpay/ttbnew", payRequest(l.uid, orderId, "10"))["z"] == 1) ++paid;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(paid.load(), 5);
  EXPECT_EQ(balance(l.uid)["ttb"], 0);
}

TEST_F(SandboxPaymentTest, WeChatPageInsistsOnTheRefererAndLeadsToWeChat) {
  options_.origin = "https://api.tolba.example";
  startServer();
  ChannelLogin l;
  const std::string orderId = orderFor("alice", "6", &l);
  // The page's address is this server's whatever Host the request names.
  const auto res0 = client()->Post("/sdkmini/wxh5/h5pay", {{"Host", "evil.example"}},
                                   *TolbaDataFunc::codingJSON(payRequest(l.uid, orderId, 6, false)), "text/html");
  ASSERT_TRUE(res0);
  const Json reply = TolbaDataFunc::decodingJSON(res0->body).value_or(Json());
  ASSERT_EQ(reply.value("z", -1), 1) << reply.dump();
  const std::string page = reply["b"];
  ASSERT_EQ(page.rfind(server_->baseUrl() + "/wxh5/pay?ticket=", 0), 0u) << page;
  const std::string pagePath = page.substr(server_->baseUrl().size());

  auto c = client();
  EXPECT_EQ(c->Get(pagePath.c_str())->status, 403) << "no Referer";
  for (const char* referer :
       {"https://evil.example", "https://api.tolba.example.evil.example/", "http://api.tolba.example"}) {
    EXPECT_EQ(c->Get(pagePath.c_str(), {{"Referer", referer}})->status, 403) << referer;
  }
  auto res = c->Get(pagePath.c_str(), {{"Referer", "https://api.tolba.example"}});
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 302);
  const std::string weixin = res->get_header_value("Location");
  EXPECT_EQ(weixin.rfind("weixin://", 0), 0u) << weixin;
  EXPECT_NE(weixin.find(orderId), std::string::npos) << "the address names the order";
  EXPECT_EQ(server_->store().orderById(orderId)->state, "unpaid") << "the page alone pays nothing";

  // The sandbox's stand-in for the WeChat application pays the order, once.
  const httplib::Params params{{"url", weixin}};
  EXPECT_EQ(c->Post("/sandbox/wechat/open", params)->status, 200);
  const auto order = server_->store().orderById(orderId);
  EXPECT_EQ(order->state, "paid");
  EXPECT_EQ(order->method, "wechat");
  EXPECT_EQ(c->Post("/sandbox/wechat/open", params)->status, 409);
  EXPECT_EQ(c->Post("/sandbox/wechat/open", httplib::Params{{"url", "weixin://wap/pay?prepayid=00ff"}})->status, 404);

  // A paid order gets no second page, and WeChat does not touch the coins.
  EXPECT_EQ(call("sdkmini/wxh5/h5pay", payRequest(l.uid, orderId, 6, false))["c"], "订单已支付");
  EXPECT_EQ(balance(l.uid)["ttb"], 100);
}

TEST_F(SandboxPaymentTest, DataSurvivesARestart) {
  startServer();
  ChannelLogin l;
  const std::string orderId = orderFor("alice", "6", &l);
  ASSERT_EQ(call("sdkmini/ttbpay/ttbnew", payRequest(l.uid, orderId, "6"))["z"], 1);
  ASSERT_EQ(
      call("sdkmini/login/idcheck", {{"i", l.uid}, {"g", "1001"}, {"id", "11010519491231002X"}, {"r", "张三"}})["z"],
      1);

  restartServer();
  // The login signature made before the restart still signs in: the secret is kept.
  const Json signIn = signInReply(l.uid, extrasOf(l));
  EXPECT_EQ(signIn.value("a", -1), 1) << signIn.dump();
  EXPECT_EQ(login("alice").reply["nrz"], 1);
  EXPECT_EQ(balance(l.uid)["ttb"], 94);
  EXPECT_EQ(server_->store().orderById(orderId)->state, "paid");
  EXPECT_EQ(submitOrder(username_, "cp-alice", "6"), orderId);
  EXPECT_EQ(call("sdkmini/login/register", loginRequest("alice", "x"))["z"], 0);
}

}  // namespace
}  // namespace tolba::sandbox::testing
