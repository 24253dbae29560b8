#include <gtest/gtest.h>

#include <memory>

#include "model/TolbaSDKGameConfig.h"
#include "net/TolbaApi.h"
#include "support/loopback_fixture.h"
#include "tolba/TolbaSDKGameRoleInfo.h"
#include "tolba/TolbaSDKPayOrderInfo.h"

namespace tolba {
namespace {

using Json = nlohmann::json;

std::shared_ptr<TolbaSDKGameRoleInfo> fullRole() {
  auto r = std::make_shared<TolbaSDKGameRoleInfo>();
  r->setServerId("s1");
  r->setServerName("一区");
  r->setGameRoleName("hero");
  r->setGameRoleID("r9");
  r->setGameRoleGender("f");
  r->setGameUserBalance("100");
  r->setVipLevel("3");
  r->setGameUserLevel("42");
  r->setPartyName("guild");
  r->setSign("rsig");
  r->setPartyId("p7");
  r->setCreatTime("1700000000");
  r->setFightPower("9000");
  r->setProfessionId("2");
  r->setProfession("mage");
  r->setFriendlist("a,b");
  r->setPartyRoleId("1");
  r->setPartyRoleName("leader");
  return r;
}

std::shared_ptr<TolbaSDKPayOrderInfo> order(float amount) {
  auto o = std::make_shared<TolbaSDKPayOrderInfo>();
  o->setGoodsID("gd1");
  o->setProductName("60钻石");
  o->setCpOrderID("cp-1");
  o->setCount(1);
  o->setAmount(amount);
  o->setExtrasParams("{\"k\":\"v\"}");
  o->setSign("");
  o->setPrice(99.0f);
  o->setProductDesc("desc");
  o->setQuantifier("个");
  return o;
}

class ApiTest : public testing::LoopbackTest {
 protected:
  void SetUp() override {
    LoopbackTest::SetUp();
    TolbaSDKGameConfig::saveStringInfo(Json("dev-1"), kTolbaIdfaKey);
  }
  Json config() override { return {{"url", server_->baseUrl()}, {"gameid", "g1"}, {"channel", "c9"}}; }

  // Runs one request builder and returns the request the server received; `path`
  // is checked against the request target.
  Json sent(const std::string& path, const std::function<void(TolbaServerBlock)>& op) {
    testing::BlockProbe probe;
    op(probe.block());
    EXPECT_TRUE(runUntil([&] { return probe.calls() == 1; })) << path;
    const auto requests = server_->requests();
    if (requests.empty()) return nullptr;
    EXPECT_EQ(requests.back().target, "/" + path);
    return requests.back().json.value_or(Json());
  }
};

TEST_F(ApiTest, LogoutSendsTheSignedInNameInItsOwnType) {
  EXPECT_EQ(sent("sdkstandard/login/logout", [](auto b) { TolbaApi::gameLogoutBlock(nullptr, b); }),
            Json({{"gameid", "g1"}, {"channelname", "c9"}}));
  EXPECT_EQ(sent("sdkstandard/login/logout", [](auto b) { TolbaApi::gameLogoutBlock(123, b); }),
            Json({{"username", 123}, {"gameid", "g1"}, {"channelname", "c9"}}));
}

TEST_F(ApiTest, SignInSendsItsTableAndLogsIt) {
  EXPECT_EQ(sent("sdkstandard/login/index", [](auto b) { TolbaApi::gameLogin("u1", std::nullopt, b); }),
            Json({{"username", "u1"},
                  {"imeil", "dev-1"},
                  {"gameid", "g1"},
                  {"age", ""},
                  {"channelname", "c9"},
                  {"os", "ios"}}));
  EXPECT_TRUE(log_->contains("参数 = {"));

  const Json ext = {{"code", 0}, {"name", "u1"}, {"rzdic", {{"z", 1}}}};
  const Json request = sent("sdkstandard/login/index", [&](auto b) { TolbaApi::gameLogin("u1", ext, b); });
  ASSERT_TRUE(request.contains("extrasparams"));
  EXPECT_EQ(Json::parse(request["extrasparams"].get<std::string>()),
            Json({{"code", "0"}, {"name", "u1"}, {"rzdic", "{\"z\":1}"}}));
}

TEST_F(ApiTest, RoleReportSendsEveryRoleField) {
  EXPECT_EQ(sent("sdkstandard/role/index", [](auto b) { TolbaApi::updateRoleInfo("player", fullRole(), b); }),
            Json({{"username", "player"},    {"gameid", "g1"},       {"channelname", "c9"}, {"roleid", "r9"},
                  {"serverid", "s1"},        {"servername", "一区"}, {"rolename", "hero"},  {"rolelevel", "42"},
                  {"viplevel", "3"},         {"partyid", "p7"},      {"sign", "rsig"},      {"partyname", "guild"},
                  {"rolegender", "f"},       {"rolebalance", "100"}, {"rolepower", "9000"}, {"professionid", "2"},
                  {"profession", "mage"},    {"friendlist", "a,b"},  {"partyroleid", "1"},  {"partyrolename", "leader"},
                  {"rolecdt", "1700000000"}, {"imeil", "dev-1"}}));
  // An empty record leaves every role key out.
  EXPECT_EQ(sent("sdkstandard/role/index",
                 [](auto b) { TolbaApi::updateRoleInfo("player", std::make_shared<TolbaSDKGameRoleInfo>(), b); }),
            Json({{"username", "player"}, {"gameid", "g1"}, {"channelname", "c9"}, {"imeil", "dev-1"}}));
}

TEST_F(ApiTest, OrderSubmissionSendsAmountAndCountAsText) {
  EXPECT_EQ(sent("sdkstandard/pay/index", [](auto b) { TolbaApi::payOrderInfo("player", order(6.0f), fullRole(), b); }),
            Json({{"roleid", "r9"},       {"serverid", "s1"},
                  {"servername", "一区"}, {"rolename", "hero"},
                  {"rolelevel", "42"},    {"viplevel", "3"},
                  {"partyname", "guild"}, {"cporderid", "cp-1"},
                  {"amount", "6"},        {"count", "1"},
                  {"sign", ""},           {"imeil", "dev-1"},
                  {"rolebalance", "100"}, {"extrasparams", "{\"k\":\"v\"}"},
                  {"goodsid", "gd1"},     {"goodsname", "60钻石"},
                  {"os", "ios"},          {"username", "player"},
                  {"gameid", "g1"},       {"channelname", "c9"}}));
  auto big = order(12.34f);
  big->setCount(60);
  const Json request =
      sent("sdkstandard/pay/index", [&](auto b) { TolbaApi::payOrderInfo("player", big, fullRole(), b); });
  EXPECT_EQ(request["amount"], "12.34");
  EXPECT_EQ(request["count"], "60");
}

TEST_F(ApiTest, ChannelLoginAndRegisterSendNameAndPasswordUntouched) {
  const Json expected = {{"z", " me "},  {"b", " pw "}, {"c", "3"}, {"d", "g1"},
                         {"e", "dev-1"}, {"f", "c9"},   {"x", "g1"}};
  EXPECT_EQ(sent("sdkmini/login/dologin", [](auto b) { TolbaApi::chanelLogin(" me ", " pw ", b); }), expected);
  EXPECT_EQ(sent("sdkmini/login/register", [](auto b) { TolbaApi::channelRegiser(" me ", " pw ", b); }), expected);
  Json withoutPassword = expected;
  withoutPassword.erase("b");
  EXPECT_EQ(sent("sdkmini/login/dologin", [](auto b) { TolbaApi::chanelLogin(" me ", std::nullopt, b); }),
            withoutPassword);
}

TEST_F(ApiTest, RealNameCheckSendsTheChannelUserId) {
  TolbaSDKGameConfig::setSdkUid("u77");
  EXPECT_EQ(sent("sdkmini/login/idcheck", [](auto b) { TolbaApi::channelReal("张三", "11010519491231002X", b); }),
            Json({{"i", "u77"}, {"g", "g1"}, {"id", "11010519491231002X"}, {"r", "张三"}}));
}

TEST_F(ApiTest, ChannelRoleReportSendsItsShortKeys) {
  TolbaSDKGameConfig::setSdkUid("u77");
  EXPECT_EQ(sent("sdkmini/User/setRole", [](auto b) { TolbaApi::channelUpdateRoleInfo(fullRole(), b); }),
            Json({{"z", "u77"},
                  {"b", "g1"},
                  {"c", "r9"},
                  {"d", "hero"},
                  {"e", "42"},
                  {"f", "s1"},
                  {"x", "一区"},
                  {"h", "扩展参数"},
                  {"i", "g1"}}));
}

// Coins take the amount as text, WeChat as the shortest number (0.01, not 0.009999999776482582).
TEST_F(ApiTest, PaymentsSendTheAmountInTheirOwnType) {
  TolbaSDKGameConfig::setSdkUid("u77");
  for (const bool weChat : {false, true}) {
    SCOPED_TRACE(weChat ? "WeChat" : "coins");
    const auto pay = [weChat](float amount) {
      return [weChat, amount](TolbaServerBlock b) {
        if (weChat) {
          TolbaApi::channelWxPayWithPayOrderInfo(order(amount), fullRole(), "ORD-1", b);
        } else {
          TolbaApi::channelPayOrderInfo(order(amount), fullRole(), "ORD-1", b);
        }
      };
    };
    const std::string path = weChat ? "sdkmini/wxh5/h5pay" : "sdkmini/ttbpay/ttbnew";
    const Json six = weChat ? Json(6) : Json("6");
    const Json cent = weChat ? Json(0.01) : Json("0.01");
    EXPECT_EQ(sent(path, pay(6.0f)), Json({{"z", weChat ? "wx" : "MLb"},
                                           {"p", six},
                                           {"b", six},
                                           {"xx", "1"},
                                           {"c", "dev-1"},
                                           {"d", "g1"},
                                           {"e", "c9"},
                                           {"f", "u77"},
                                           {"x", "r9"},
                                           {"y", "ORD-1"},
                                           {"j", "g1"},
                                           {"k", "60钻石"},
                                           {"h", "s1"},
                                           {"l", "desc"},
                                           {"os", "ios"}}));
    const Json small = sent(path, pay(0.01f));
    EXPECT_EQ(small["p"], cent);
    EXPECT_EQ(small["b"], cent);
  }
}

TEST_F(ApiTest, BalanceQuerySendsAnEmptyUserIdBeforeAnyLoginAndPassesTheReplyOn) {
  server_->enqueue(testing::LoopbackServer::Reply::json({{"code", 1}, {"ttb", 12.5}}));
  testing::BlockProbe probe;
  TolbaApi::channelCheckMoneyBlock(probe.block());
  ASSERT_TRUE(runUntil([&] { return probe.calls() == 1; }));
  EXPECT_EQ(probe.results[0], Json({{"code", 1}, {"ttb", 12.5}}));
  EXPECT_TRUE(probe.errors[0].is_null());
  EXPECT_EQ(server_->requests().at(0).target, "/sdkmini/pay/getPayWay");
  EXPECT_EQ(server_->lastJson(), Json({{"zz", ""}, {"z", "g1"}, {"b", "g1"}, {"bb", "c9"}}));
}

}  // namespace
}  // namespace tolba
