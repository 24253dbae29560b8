// The public traffic hook hands out requests and replies with credentials masked.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "net/traffic_observer.h"
#include "tolba/TolbaTraffic.h"
#include "tolba/platform/run_loop.h"

namespace {

using nlohmann::json;

TEST(TrafficMaskTest, CredentialsAreMaskedAndEverythingElseIsKept) {
  struct Case {
    const char* path;
    json body;
    json masked;
  };
  const Case cases[] = {
      {"sdkmini/login/dologin", {{"z", "alice"}, {"b", "secret"}}, {{"z", "alice"}, {"b", "***"}}},
      {"sdkmini/login/register", {{"z", "bob"}, {"b", "pw"}, {"c", "3"}}, {{"z", "bob"}, {"b", "***"}, {"c", "3"}}},
      {"sdkmini/login/idcheck",
       {{"i", "7"}, {"id", "110105199003071239"}, {"r", "张三"}},
       {{"i", "7"}, {"id", "***"}, {"r", "***"}}},
      {"sdkstandard/login/index",
       {{"username", "7"}, {"extrasparams", "{\"sign\":\"s\"}"}},
       {{"username", "7"}, {"extrasparams", "***"}}},
      // Signatures and tokens wherever they are, also nested.
      {"sdkstandard/role/index", {{"sign", "abc"}, {"roleid", "r1"}}, {{"sign", "***"}, {"roleid", "r1"}}},
      {"", {{"c", {{"token", "t"}, {"username", "u"}}}}, {{"c", {{"token", "***"}, {"username", "u"}}}}},
      // A password key elsewhere is an ordinary field.
      {"sdkmini/pay/getPayWay", {{"b", "1001"}}, {{"b", "1001"}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tolba::maskTolbaTraffic(c.path, c.body), c.masked) << c.path;
  }
}

TEST(TrafficMaskTest, TheObserverGetsMaskedRepliesWithoutTheirRawBytes) {
  std::vector<tolba::TolbaTrafficEvent> seen;
  tolba::setTolbaTrafficObserver([&](const tolba::TolbaTrafficEvent& e) { seen.push_back(e); });
  tolba::TrafficEvent reply;
  reply.kind = tolba::TrafficEvent::Kind::reply;
  reply.path = "sdkmini/login/dologin";
  reply.body = {{"z", 1}, {"b", "100001"}, {"d", "login-signature"}};
  reply.status = 200;
  tolba::deliverTraffic(reply);
  tolba::TrafficEvent garbage;
  garbage.kind = tolba::TrafficEvent::Kind::undecodable;
  garbage.path = "sdkmini/login/dologin";
  garbage.raw = "token=abc";
  tolba::deliverTraffic(garbage);
  tolba::setTolbaTrafficObserver(nullptr);

  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].kind, "reply");
  EXPECT_EQ(seen[0].status, 200);
  EXPECT_EQ(seen[0].body, (json{{"z", 1}, {"b", "100001"}, {"d", "***"}}));
  EXPECT_EQ(seen[1].kind, "undecodable");
  EXPECT_EQ(seen[1].body.dump().find("abc"), std::string::npos);
  EXPECT_EQ(seen[1].error.find("abc"), std::string::npos);
}

}  // namespace
