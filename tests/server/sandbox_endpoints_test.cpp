// Each endpoint of the sandbox over real HTTP on loopback: its replies, its
// refusals in its own status and message keys, and bodies that do not decode.

#include <regex>

#include "sandbox_api.h"
#include "sandbox_fixture.h"

namespace tolba::sandbox::testing {
namespace {

const char* const kAllPaths[] = {
    "sdkstandard/login/logout", "sdkstandard/login/index", "sdkstandard/role/index", "sdkstandard/pay/index",
    "sdkmini/login/dologin",    "sdkmini/login/register",  "sdkmini/login/idcheck",  "sdkmini/User/setRole",
    "sdkmini/ttbpay/ttbnew",    "sdkmini/wxh5/h5pay",      "sdkmini/pay/getPayWay",
};

bool isHex(const std::string& s, std::size_t length) { return std::regex_match(s, std::regex("[0-9a-f]{" + std::to_string(length) + "}")); }

Json idCheckRequest(const std::string& uid, const std::string& name, const std::string& number) {
  return {{"i", uid}, {"g", "1001"}, {"id", number}, {"r", name}};
}

BirthDate yearsAgo(int years) {
  BirthDate d = todayInChina();
  d.year -= years;
  if (d.month == 2 && d.day == 29) d.day = 28;
  return d;
}

class SandboxEndpointsTest : public SandboxTest {};

TEST_F(SandboxEndpointsTest, RegisterKeepsOnlyASaltedHashAndRefusesEmptyOrTakenNames) {
  options_.startingCoins = 2500;
  startServer();
  const std::string uid = registerAccount("alice", "pässword 1");
  ASSERT_FALSE(uid.empty());

  const auto account = server_->store().accountByName("alice");
  ASSERT_TRUE(account.has_value());
  EXPECT_EQ(account->balance, 2500);
  EXPECT_EQ(account->passwordHash.rfind("pbkdf2-sha256$", 0), 0u);
  EXPECT_EQ(account->passwordHash.find("pässword"), std::string::npos);
  // The same password gets a different salt in another account.
  registerAccount("bob", "pässword 1");
  EXPECT_NE(server_->store().accountByName("bob")->passwordHash, account->passwordHash);

  for (const Json& request : {loginRequest("alice", "other"), loginRequest("", "x"), loginRequest("   ", "x"),
                              loginRequest("carol", ""), Json{{"b", "x"}}}) {
    const Json reply = call("sdkmini/login/register", request);
    EXPECT_EQ(reply.value("z", -1), 0) << request.dump();
    EXPECT_TRUE(reply.contains("d") && reply["d"].is_string() && !reply["d"].get<std::string>().empty())
        << reply.dump();
  }
  EXPECT_EQ(call("sdkmini/login/register", loginRequest("alice", "x"))["d"], "账号已存在");
}

TEST_F(SandboxEndpointsTest, LoginSignsTheSessionAndRefusesWrongCredentialsAlike) {
  startServer();
  const std::string uid = registerAccount("alice");
  const ChannelLogin l = login("alice");
  EXPECT_EQ(l.uid, uid);
  EXPECT_TRUE(std::regex_match(l.loginTime, std::regex("[0-9]{10}"))) << l.loginTime;
  EXPECT_TRUE(isHex(l.sign, 64)) << l.sign;
  EXPECT_EQ(l.reply["nrz"], 0);
  EXPECT_EQ(server_->store().accountByUid(std::stoll(uid))->loginSign, l.sign);

  const Json wrongPassword = call("sdkmini/login/dologin", loginRequest("alice", "Secret"));
  const Json unknownName = call("sdkmini/login/dologin", loginRequest("nobody", "secret"));
  EXPECT_EQ(wrongPassword.value("z", -1), 0);
  EXPECT_EQ(unknownName.value("z", -1), 0);
  // The same text for both, so that names cannot be probed.
  EXPECT_EQ(wrongPassword["x"], "账号或密码错误");
  EXPECT_EQ(unknownName["x"], wrongPassword["x"]);
  // Leading blanks are part of the name, as the client sends it.
  EXPECT_EQ(call("sdkmini/login/dologin", loginRequest(" alice", "secret")).value("z", -1), 0);
}

TEST_F(SandboxEndpointsTest, RealNameCheckValidatesTheCardAndSetsTheStateByAge) {
  startServer();
  const std::string adult = registerAccount("adult");
  const std::string minor = registerAccount("minor");

  Json reply = call("sdkmini/login/idcheck", idCheckRequest(adult, "张三", idCardFor(yearsAgo(30))));
  EXPECT_EQ(reply.value("z", -1), 1) << reply.dump();
  EXPECT_EQ(reply["nrz"], 1);
  EXPECT_EQ(login("adult").reply["nrz"], 1);

  reply = call("sdkmini/login/idcheck", idCheckRequest(minor, "李四", idCardFor(yearsAgo(12))));
  EXPECT_EQ(reply["nrz"], 2) << reply.dump();
  EXPECT_EQ(login("minor").reply["nrz"], 2);
  const std::string card = idCardFor(yearsAgo(30));

  const std::string third = registerAccount("third");
  std::string badCheck = idCardFor(yearsAgo(30));
  badCheck[17] = badCheck[17] == '1' ? '2' : '1';
  const std::string feb30 = [] {
    const std::string first17 = std::string("110101") + "20000230" + "123";
    return first17 + idCardCheckCharacter(first17);
  }();
  BirthDate tomorrow = todayInChina();
  tomorrow.year += 1;
  if (tomorrow.month == 2 && tomorrow.day == 29) tomorrow.day = 28;
  const Json refused[] = {
      idCheckRequest(third, "王五", badCheck),
      idCheckRequest(third, "王五", feb30),
      idCheckRequest(third, "王五", idCardFor(tomorrow)),
      idCheckRequest(third, "王五", "11010519900101"),
      idCheckRequest(third, "", card),
      idCheckRequest("999999", "王五", card),
      Json{{"i", third}, {"r", "王五"}},
  };
  for (const Json& request : refused) {
    reply = call("sdkmini/login/idcheck", request);
    EXPECT_EQ(reply.value("z", -1), 0) << request.dump() << " -> " << reply.dump();
    EXPECT_TRUE(reply.contains("msg")) << reply.dump();
  }
  EXPECT_EQ(server_->store().accountByName("third")->realNameState, 0);

  // A lower-case check character is the same character.
  const std::string x = "11010519491231002X";
  ASSERT_EQ(idCardCheckCharacter(x.substr(0, 17)), 'X');
  reply = call("sdkmini/login/idcheck", idCheckRequest(third, "王五", "11010519491231002x"));
  EXPECT_EQ(reply.value("z", -1), 1) << reply.dump();
}

TEST_F(SandboxEndpointsTest, SignInIssuesATokenOnlyForTheCurrentChannelLogin) {
  startServer();
  registerAccount("alice");
  const ChannelLogin l = login("alice");
  Json reply = signInReply(l.uid, extrasOf(l));
  ASSERT_EQ(reply.value("a", -1), 1) << reply.dump();
  const Json c = reply["c"];
  EXPECT_EQ(c["username"], SandboxApi::aggregationName(std::stoll(l.uid)));
  EXPECT_TRUE(isHex(c.value("token", ""), 32)) << c.dump();
  EXPECT_TRUE(c["logintime"].is_string());
  EXPECT_FALSE(c.contains("age")) << "no real-name record, no age";

  // With a real-name record the age comes as a number.
  ASSERT_EQ(call("sdkmini/login/idcheck", idCheckRequest(l.uid, "张三", idCardFor(yearsAgo(25)))).value("z", -1), 1);
  const Json second = signInReply(l.uid, extrasOf(l));
  EXPECT_EQ(second["c"]["age"], 25) << second.dump();
  EXPECT_NE(second["c"]["token"], c["token"]);

  // Forgeries: no extras, a made-up sign, another account's sign, extras that are not JSON.
  registerAccount("mallory");
  const ChannelLogin m = login("mallory");
  ChannelLogin forged = l;
  forged.sign = std::string(64, 'a');
  ChannelLogin borrowed = m;
  borrowed.uid = l.uid;
  const std::pair<std::string, std::optional<std::string>> forgeries[] = {
      {l.uid, std::nullopt},
      {l.uid, extrasOf(forged)},
      {l.uid, extrasOf(m)},
      {l.uid, extrasOf(borrowed)},
      {l.uid, "{not json"},
      {"0", extrasOf(l)},
  };
  for (const auto& [uid, extras] : forgeries) {
    Json request = {{"username", uid}, {"imeil", "d"}, {"gameid", "1001"}, {"age", ""}, {"channelname", "t"}, {"os", "ios"}};
    if (extras) request["extrasparams"] = *extras;
    reply = call("sdkstandard/login/index", request);
    EXPECT_EQ(reply.value("a", -1), 0) << request.dump();
    EXPECT_TRUE(reply.contains("b") && reply["b"].is_string()) << reply.dump();
  }

  // A logout ends the channel login: its sign no longer signs in.
  call("sdkstandard/login/logout", {{"username", c["username"]}, {"gameid", "1001"}, {"channelname", "tolba"}});
  EXPECT_EQ(signInReply(l.uid, extrasOf(l)).value("a", -1), 0);
  EXPECT_EQ(signInReply(m.uid, extrasOf(m)).value("a", -1), 1) << "another account's session is untouched";
}

TEST_F(SandboxEndpointsTest, RoleReportsOfBothServersUpsertTheRole) {
  startServer();
  ChannelLogin l;
  const std::string username = signedInAccount("alice", &l);
  const Json channelRole = {{"z", l.uid}, {"b", "1001"}, {"c", "r1"}, {"d", "勇者"}, {"e", "10"},
                            {"f", "s1"},  {"x", "一区"}, {"h", "扩展参数"}, {"i", "1001"}};
  EXPECT_EQ(call("sdkmini/User/setRole", channelRole).value("z", -1), 1);
  Json aggregationRole = {{"username", username}, {"gameid", "1001"}, {"channelname", "tolba"}, {"roleid", "r1"},
                          {"serverid", "s1"},     {"servername", "一区"}, {"rolename", "勇者"},   {"rolelevel", "11"},
                          {"viplevel", "2"},      {"imeil", "device-1"}};
  EXPECT_EQ(call("sdkstandard/role/index", aggregationRole).value("a", -1), 1);

  auto roles = server_->store().roles(std::stoll(l.uid));
  ASSERT_EQ(roles.size(), 1u);
  EXPECT_EQ(roles[0].roleLevel, "11");
  EXPECT_EQ(roles[0].vipLevel, "2");
  // A later channel report (which has no VIP level) keeps the one known.
  EXPECT_EQ(call("sdkmini/User/setRole", channelRole).value("z", -1), 1);
  roles = server_->store().roles(std::stoll(l.uid));
  ASSERT_EQ(roles.size(), 1u);
  EXPECT_EQ(roles[0].roleLevel, "10");
  EXPECT_EQ(roles[0].vipLevel, "2");

  Json unknown = aggregationRole;
  unknown["username"] = "tb1";
  EXPECT_EQ(call("sdkstandard/role/index", unknown).value("a", -1), 0);
  EXPECT_EQ(call("sdkmini/User/setRole", {{"z", ""}, {"c", "r1"}}).value("z", -1), 0);
}

TEST_F(SandboxEndpointsTest, OrdersAreBoundToTheGameOrderIdAndRefuseBadAmounts) {
  startServer();
  ChannelLogin l;
  const std::string username = signedInAccount("alice", &l);
  const std::string first = submitOrder(username, "cp-1", "6");
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(submitOrder(username, "cp-1", "6"), first) << "the same game order gives the same number";
  const std::string second = submitOrder(username, "cp-2", "0.5");
  EXPECT_NE(second, first);

  const auto order = server_->store().orderById(second);
  ASSERT_TRUE(order.has_value());
  EXPECT_EQ(order->uid, std::stoll(l.uid));
  EXPECT_EQ(order->amount, 50);
  EXPECT_EQ(order->cpOrderId, "cp-2");
  EXPECT_EQ(order->state, "unpaid");

  for (const char* amount : {"0", "-6", "abc", "", "0.001"}) {
    const Json reply = call("sdkstandard/pay/index", orderRequest(username, "cp-bad", amount));
    EXPECT_EQ(reply.value("a", -1), 0) << amount;
    EXPECT_TRUE(reply.contains("b")) << reply.dump();
  }
  const Json stranger = call("sdkstandard/pay/index", orderRequest("tb42", "cp-3", "6"));
  EXPECT_EQ(stranger.value("a", -1), 0);
  // Another amount under a used game order id is a conflict, not a second order.
  EXPECT_EQ(call("sdkstandard/pay/index", orderRequest(username, "cp-1", "7")).value("a", -1), 0);
}

TEST_F(SandboxEndpointsTest, BalanceReportsCoinsAndWhetherWeChatIsOffered) {
  options_.startingCoins = 1250;
  startServer();
  const std::string uid = registerAccount("alice");
  Json reply = balance(uid);
  EXPECT_EQ(reply.value("code", -1), 1);
  EXPECT_EQ(reply["ttb"], 12.5);
  EXPECT_EQ(reply["wx"], 1);
  EXPECT_EQ(balance("424242").value("code", -1), 0);
  EXPECT_EQ(balance("").value("code", -1), 0);

  options_.wechatGames = {"2002"};
  restartServer();
  reply = balance(uid);
  EXPECT_EQ(reply.value("code", -1), 1);
  EXPECT_FALSE(reply.contains("wx")) << "WeChat is offered to game 2002 only";
}

TEST_F(SandboxEndpointsTest, UndecodableOrIncompleteBodiesGetEachEndpointsOwnRefusal) {
  startServer();
  for (const char* path : kAllPaths) {
    const std::string statusKey = SandboxApi::statusKey(path);
    for (const std::string& body : {std::string(), std::string("x1_2_3y"), std::string("\xff\xfe", 2),
                                   *TolbaDataFunc::codingJSON(Json::array({1, 2})), *TolbaDataFunc::codingJSON(Json::object())}) {
      const auto res = postRaw(path, body);
      ASSERT_TRUE(res) << path;
      EXPECT_EQ(res->status, 200) << path;
      const auto reply = TolbaDataFunc::decodingJSON(res->body);
      ASSERT_TRUE(reply.has_value()) << path << " body " << body;
      EXPECT_EQ((*reply)[statusKey], 0) << path << " -> " << reply->dump();
      EXPECT_EQ(reply->size(), 2u) << "status and message: " << reply->dump();
    }
  }
  const auto unknown = postRaw("sdkmini/nothing", *TolbaDataFunc::codingJSON(Json::object()));
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 404);
  EXPECT_TRUE(log_->contains("<body does not decode"));
}

TEST_F(SandboxEndpointsTest, LongRequestsWithLineBreaksDecodeAndTheLogMasksSecrets) {
  startServer();
  const Json request = loginRequest("a-rather-long-account-name-0123456789", "hunter2-password");
  const auto body = TolbaDataFunc::codingJSON(request);
  ASSERT_TRUE(body.has_value());
  ASSERT_FALSE(TolbaDataFunc::decodingJSON(*body).has_value()) << "the request must carry a line break";
  const auto res = postRaw("sdkmini/login/register", *body);
  ASSERT_TRUE(res);
  // The reply is decodable by the strict reader: no line breaks.
  const auto reply = TolbaDataFunc::decodingJSON(res->body);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ((*reply)["z"], 1);

  const std::string uid = (*reply)["b"];
  call("sdkmini/login/idcheck", idCheckRequest(uid, "张三", "11010519491231002X"));
  bool sawRegister = false;
  for (const auto& line : log_->lines()) {
    EXPECT_EQ(line.find("hunter2"), std::string::npos) << line;
    EXPECT_EQ(line.find("19491231"), std::string::npos) << line;
    if (line.find("POST /sdkmini/login/register") != std::string::npos) {
      sawRegister = true;
      EXPECT_NE(line.find("\"b\":\"***\""), std::string::npos) << line;
      EXPECT_NE(line.find("-> 200 z=1"), std::string::npos) << line;
      EXPECT_NE(line.find(" ms)"), std::string::npos) << line;
    }
  }
  EXPECT_TRUE(sawRegister);
}

TEST_F(SandboxEndpointsTest, AgreementPagesAreShortChinesePages) {
  startServer();
  for (const auto& [path, title] : {std::pair{"/useragreement.html", "用户协议"}, std::pair{"/privacyagreement.html", "隐私政策"}}) {
    const auto res = client()->Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type").rfind("text/html", 0), 0u);
    EXPECT_NE(res->body.find(title), std::string::npos);
    EXPECT_NE(res->body.find("lang=\"zh-CN\""), std::string::npos);
  }
}

}  // namespace
}  // namespace tolba::sandbox::testing
