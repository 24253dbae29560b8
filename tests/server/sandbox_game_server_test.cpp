// What a game's server asks the sandbox (a client's sign-in, an order), and what
// the SDK asks of an order's state.

#include "game_server_api.h"
#include "payment_callback.h"
#include "sandbox_fixture.h"

namespace tolba::sandbox::testing {
namespace {

constexpr char kSecret[] = "app-secret";

class SandboxGameServerTest : public SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    startServer();
    ASSERT_TRUE(server_->store().setGame({"1001", "http://127.0.0.1:9/paid", kSecret}));
    ASSERT_TRUE(server_->store().setGame({"2002", "http://127.0.0.1:9/paid", "other-secret"}));
  }

  // Signs a form as a game's server does and posts it.
  Json ask(const std::string& path, FormFields fields, const std::string& secret = kSecret) {
    if (!fields.count("time")) fields["time"] = std::to_string(server_->clock().nowSeconds());
    fields["sign"] = callbackSignature(fields, secret);
    const auto res = client()->Post(path.c_str(), formEncode(fields), "application/x-www-form-urlencoded");
    EXPECT_TRUE(res && res->status == 200) << path;
    return res ? Json::parse(res->body, nullptr, false) : Json();
  }

  // Registers, logs in and signs in `name`; the sign-in's data ("username", "token").
  Json signIn(const std::string& name, ChannelLogin* l) {
    registerAccount(name);
    *l = login(name);
    return signInReply(l->uid, extrasOf(*l)).value("c", Json::object());
  }
};

TEST_F(SandboxGameServerTest, LoginVerifyAcceptsOnlyTheCurrentSignInOfAnOpenSession) {
  ChannelLogin l;
  const Json first = signIn("alice", &l);
  const std::string user = first.value("username", "");
  const std::string token = first.value("token", "");
  auto verify = [&](const std::string& t, FormFields extra = {}, const std::string& secret = kSecret) {
    FormFields f{{"gameid", "1001"}, {"username", user}, {"token", t}};
    for (auto& [k, v] : extra) f[k] = v;
    return ask("/server/login/verify", f, secret);
  };
  EXPECT_EQ(verify(token), (Json{{"ok", 1}, {"username", user}, {"age", "-1"}, {"realname", "0"}}));

  const struct {
    FormFields extra;
    std::string secret;
    const char* error;
  } refused[] = {
      {{}, "wrong-secret", "bad signature"},
      {{{"gameid", "9999"}}, kSecret, "unknown game"},
      {{{"time", std::to_string(server_->clock().nowSeconds() - 301)}}, kSecret, "time is more than 300 s from"},
      {{{"time", std::to_string(server_->clock().nowSeconds() + 400)}}, kSecret, "time is more than 300 s from"},
      {{{"username", "tb1"}}, kSecret, "unknown user"},
      {{{"gameid", "2002"}}, "other-secret", "session closed"},  // signed in on 1001 only
  };
  for (const auto& c : refused) {
    const Json reply = verify(token, c.extra, c.secret);
    EXPECT_EQ(reply.value("ok", -1), 0) << c.error;
    EXPECT_EQ(reply.value("error", "").rfind(c.error, 0), 0u) << reply.dump();
  }

  // A second sign-in supersedes the first token; a logout ends the second.
  const std::string second = signInReply(l.uid, extrasOf(l)).value("c", Json::object()).value("token", "");
  EXPECT_EQ(verify(token).value("error", ""), "token is not the user's current sign-in");
  EXPECT_EQ(verify(second).value("ok", 0), 1);
  call("sdkstandard/login/logout", {{"username", user}, {"gameid", "1001"}, {"channelname", "tolba"}});
  EXPECT_EQ(verify(second).value("ok", 1), 0);
}

TEST_F(SandboxGameServerTest, OrderQueryAndTheClientsPayQueryFollowThePayment) {
  ChannelLogin l;
  const std::string user = signIn("alice", &l).value("username", "");
  const std::string orderId = submitOrder(user, "cp-1", "6");
  ChannelLogin other;
  const std::string othersOrder = submitOrder(signIn("bob", &other).value("username", ""), "cp-2", "1");
  auto clientQuery = [&](const std::string& id, const std::string& device = "device-1") {
    return call("sdkmini/pay/query", {{"f", l.uid}, {"c", device}, {"d", "1001"}, {"e", "tolba"}, {"y", id}});
  };

  EXPECT_EQ(clientQuery(orderId), (Json{{"z", 1}, {"state", "unpaid"}}));
  EXPECT_EQ(ask("/server/order/query", {{"gameid", "1001"}, {"cporderid", "cp-1"}}), (Json{{"ok", 1},
                                                                                           {"orderid", orderId},
                                                                                           {"cporderid", "cp-1"},
                                                                                           {"amount", "6"},
                                                                                           {"state", "unpaid"},
                                                                                           {"method", ""},
                                                                                           {"paidtime", ""}}));
  ASSERT_EQ(call("sdkmini/ttbpay/ttbnew", payRequest(l.uid, orderId, "6")).value("z", 0), 1);
  EXPECT_EQ(clientQuery(orderId)["state"], "paid");
  const Json paid = ask("/server/order/query", {{"gameid", "1001"}, {"orderid", orderId}});
  EXPECT_EQ(paid.value("state", ""), "paid");
  EXPECT_EQ(paid.value("method", ""), "coin");
  EXPECT_FALSE(paid.value("paidtime", "").empty());

  // Nobody learns of an order that is not theirs.
  EXPECT_EQ(clientQuery(othersOrder), (Json{{"z", 0}, {"c", "订单不存在"}}));
  EXPECT_EQ(clientQuery(orderId, "device-2").value("z", 1), 0);
  EXPECT_EQ(ask("/server/order/query", {{"gameid", "2002"}, {"orderid", orderId}}, "other-secret"),
            (Json{{"ok", 0}, {"error", "order not found"}}));
  EXPECT_EQ(ask("/server/order/query", {{"gameid", "1001"}, {"orderid", "TB-none"}}).value("error", ""),
            "order not found");
  const auto malformed = client()->Post("/server/order/query", "gameid=1001&gameid=1001", "text/plain");
  ASSERT_TRUE(malformed);
  EXPECT_EQ(Json::parse(malformed->body, nullptr, false), (Json{{"ok", 0}, {"error", "malformed form"}}));
}

}  // namespace
}  // namespace tolba::sandbox::testing
