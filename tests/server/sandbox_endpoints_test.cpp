// Each endpoint of the sandbox over real HTTP on loopback: its main reply and
// its refusals in its own status and message keys.

#include <regex>

#include "sandbox_api.h"
#include "sandbox_fixture.h"

namespace tolba::sandbox::testing {
namespace {

class SandboxEndpointsTest : public SandboxTest {};

TEST_F(SandboxEndpointsTest, RegisterAndLoginKeepOnlyASaltedHashAndRefuseAlike) {
  options_.startingCoins = 2500;
  startServer();
  const std::string uid = registerAccount("alice", "hunter2 pässword");
  const auto account = server_->store().accountByName("alice");
  ASSERT_TRUE(account.has_value());
  EXPECT_EQ(account->balance, 2500);
  EXPECT_EQ(account->passwordHash.find("pässword"), std::string::npos);
  registerAccount("bob", "hunter2 pässword");
  EXPECT_NE(server_->store().accountByName("bob")->passwordHash, account->passwordHash) << "salted";
  // Taken too: the same name with spaces around it, or one that looks the same.
  for (const char* lookAlike :
       {"alice", "alice ", " alice", "alice\u00a0", "alice\u3000", "\uff41\uff4c\uff49\uff43\uff45", "Alice"}) {
    EXPECT_EQ(call("sdkmini/login/register", loginRequest(lookAlike, "x"))["d"], "账号已存在") << lookAlike;
  }
  for (const Json& request : {loginRequest("   ", "x"), loginRequest("carol", ""), Json{{"b", "x"}}}) {
    EXPECT_EQ(call("sdkmini/login/register", request).value("z", -1), 0) << request.dump();
  }

  const ChannelLogin l = login("alice", "hunter2 pässword");
  EXPECT_EQ(l.uid, uid);
  EXPECT_TRUE(std::regex_match(l.sign, std::regex("[0-9a-f]{64}"))) << l.sign;
  EXPECT_EQ(l.reply["nrz"], 0);
  // The same text for a wrong password and an unknown name, so names cannot be probed.
  const Json wrongPassword = call("sdkmini/login/dologin", loginRequest("alice", "Secret"));
  EXPECT_EQ(wrongPassword.value("z", -1), 0);
  EXPECT_EQ(wrongPassword["x"], "账号或密码错误");
  EXPECT_EQ(call("sdkmini/login/dologin", loginRequest("nobody", "secret"))["x"], wrongPassword["x"]);
  for (const auto& line : log_->lines()) EXPECT_EQ(line.find("hunter2"), std::string::npos) << line;
}

TEST_F(SandboxEndpointsTest, RealNameCheckSetsTheStateByAgeAndRefusesBadCards) {
  startServer();
  const std::string adult = registerAccount("adult");
  const std::string minor = registerAccount("minor");
  login("adult");
  login("minor");
  EXPECT_EQ(call("sdkmini/login/idcheck", idCheckRequest(adult, "张三", idCardYearsAgo(30)))["nrz"], 1);
  EXPECT_EQ(login("adult").reply["nrz"], 1);
  EXPECT_EQ(call("sdkmini/login/idcheck", idCheckRequest(minor, "李四", idCardYearsAgo(12)))["nrz"], 2);

  const std::string third = registerAccount("third");
  login("third");
  std::string badCheck = idCardYearsAgo(30);
  badCheck[17] = badCheck[17] == '1' ? '2' : '1';
  for (const Json& request :
       {idCheckRequest(third, "王五", badCheck), idCheckRequest(third, "王五", idCardYearsAgo(-1)),
        idCheckRequest(third, "", idCardYearsAgo(30)), idCheckRequest("999999", "王五", idCardYearsAgo(30))}) {
    const Json reply = call("sdkmini/login/idcheck", request);
    EXPECT_EQ(reply.value("z", -1), 0) << request.dump() << " -> " << reply.dump();
    EXPECT_TRUE(reply.contains("msg")) << reply.dump();
  }
  EXPECT_EQ(server_->store().accountByName("third")->realNameState, 0);
  // A lower-case check character is the same character; the number stays out of the log.
  EXPECT_EQ(call("sdkmini/login/idcheck", idCheckRequest(third, "王五", "11010519491231002x")).value("z", -1), 1);
  for (const auto& line : log_->lines()) EXPECT_EQ(line.find("19491231"), std::string::npos) << line;
}

TEST_F(SandboxEndpointsTest, SignInIssuesATokenOnlyForTheCurrentChannelLogin) {
  startServer();
  registerAccount("alice");
  const ChannelLogin l = login("alice");
  ASSERT_EQ(call("sdkmini/login/idcheck", idCheckRequest(l.uid, "张三", idCardYearsAgo(25))).value("z", -1), 1);
  const Json reply = signInReply(l.uid, extrasOf(l));
  ASSERT_EQ(reply.value("a", -1), 1) << reply.dump();
  const Json c = reply["c"];
  EXPECT_EQ(c["username"], SandboxApi::aggregationName(std::stoll(l.uid)));
  EXPECT_TRUE(std::regex_match(c.value("token", ""), std::regex("[0-9a-f]{32}"))) << c.dump();
  EXPECT_EQ(c["age"], 25);

  // Forgeries: no extras, a made-up sign, another account's sign, extras that are not JSON.
  registerAccount("mallory");
  const ChannelLogin m = login("mallory");
  ChannelLogin forged = l;
  forged.sign = std::string(64, 'a');
  ChannelLogin borrowed = m;
  borrowed.uid = l.uid;
  for (const auto& extras : {std::optional<std::string>(), std::optional(extrasOf(forged)), std::optional(extrasOf(m)),
                             std::optional(extrasOf(borrowed)), std::optional<std::string>("{not json")}) {
    const Json refused = signInReply(l.uid, extras);
    EXPECT_EQ(refused.value("a", -1), 0) << extras.value_or("(none)");
    EXPECT_TRUE(refused.contains("b") && refused["b"].is_string()) << refused.dump();
  }

  // A logout ends the channel login: its sign no longer signs in.
  call("sdkstandard/login/logout", {{"username", c["username"]}, {"gameid", "1001"}, {"channelname", "tolba"}});
  EXPECT_EQ(signInReply(l.uid, extrasOf(l)).value("a", -1), 0);
  EXPECT_EQ(signInReply(m.uid, extrasOf(m)).value("a", -1), 1) << "another account's session is untouched";
}

TEST_F(SandboxEndpointsTest, RolesUpsertOrdersBindToTheGameOrderIdAndBalanceReportsCoins) {
  options_.startingCoins = 1250;
  startServer();
  ChannelLogin l;
  const std::string username = signedInAccount("alice", &l);
  const Json channelRole = {{"z", l.uid}, {"b", "1001"}, {"c", "r1"},  {"d", "勇者"},
                            {"e", "10"},  {"f", "s1"},   {"i", "1001"}};
  Json aggregationRole = {{"username", username}, {"gameid", "1001"},  {"roleid", "r1"}, {"serverid", "s1"},
                          {"rolename", "勇者"},   {"rolelevel", "11"}, {"viplevel", "2"}};
  EXPECT_EQ(call("sdkstandard/role/index", aggregationRole).value("a", -1), 1);
  // A later channel report (which has no VIP level) keeps the one known.
  EXPECT_EQ(call("sdkmini/User/setRole", channelRole).value("z", -1), 1);
  const auto roles = server_->store().roles(std::stoll(l.uid));
  ASSERT_EQ(roles.size(), 1u);
  EXPECT_EQ(roles[0].roleLevel, "10");
  EXPECT_EQ(roles[0].vipLevel, "2");
  aggregationRole["username"] = "tb1";
  EXPECT_EQ(call("sdkstandard/role/index", aggregationRole).value("a", -1), 0);
  EXPECT_EQ(call("sdkmini/User/setRole", {{"z", ""}, {"c", "r1"}}).value("z", -1), 0);

  const std::string first = submitOrder(username, "cp-1", "0.5");
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(submitOrder(username, "cp-1", "0.5"), first) << "the same game order gives the same number";
  const auto order = server_->store().orderById(first);
  ASSERT_TRUE(order.has_value());
  EXPECT_EQ(order->amount, 50);
  EXPECT_EQ(order->state, "unpaid");
  for (const Json& request : {orderRequest(username, "cp-2", "0"), orderRequest(username, "cp-2", "0.001"),
                              orderRequest("tb42", "cp-3", "6"), orderRequest(username, "cp-1", "7")}) {
    const Json reply = call("sdkstandard/pay/index", request);
    EXPECT_EQ(reply.value("a", -1), 0) << request.dump();
    EXPECT_TRUE(reply.contains("b")) << reply.dump();
  }

  const Json coins = balance(l.uid);
  EXPECT_EQ(coins.value("code", -1), 1);
  EXPECT_EQ(coins["ttb"], 12.5);
  EXPECT_EQ(coins["wx"], 1);
  EXPECT_EQ(balance("424242").value("code", -1), 0);
}

TEST_F(SandboxEndpointsTest, UndecodableOrIncompleteBodiesGetEachEndpointsOwnRefusal) {
  startServer();
  // Requests this long carry line breaks (as the SDK writes them) and still decode;
  // the fixture's strict reader shows that no reply ever carries one.
  ASSERT_FALSE(TolbaDataFunc::decodingJSON(*TolbaDataFunc::codingJSON(orderRequest("tb1", "cp", "6"))).has_value());
  for (const char* path :
       {"sdkstandard/login/logout", "sdkstandard/login/index", "sdkstandard/role/index", "sdkstandard/pay/index",
        "sdkmini/login/dologin", "sdkmini/login/register", "sdkmini/login/idcheck", "sdkmini/User/setRole",
        "sdkmini/ttbpay/ttbnew", "sdkmini/wxh5/h5pay", "sdkmini/pay/getPayWay"}) {
    for (const std::string& body : {std::string("x1_2_3y"), *TolbaDataFunc::codingJSON(Json::array({1, 2})),
                                    *TolbaDataFunc::codingJSON(Json::object())}) {
      const auto res = postRaw(path, body);
      ASSERT_TRUE(res) << path;
      EXPECT_EQ(res->status, 200) << path;
      const auto reply = TolbaDataFunc::decodingJSON(res->body);
      ASSERT_TRUE(reply.has_value()) << path << " body " << body;
      EXPECT_EQ((*reply)[SandboxApi::statusKey(path)], 0) << path << " -> " << reply->dump();
      EXPECT_EQ(reply->size(), 2u) << "status and message: " << reply->dump();
    }
  }
  EXPECT_EQ(postRaw("sdkmini/nothing", "")->status, 404);
}

}  // namespace
}  // namespace tolba::sandbox::testing
