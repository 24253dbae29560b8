// Plain http:// only to loopback hosts unless Tolba.plist allows it; a refused
// request reads as a reply nobody can read, and the start says why.

#include <gtest/gtest.h>

#include "sdk/TolbaSDKCore.h"

#include "net/TolbaNetTool.h"
#include "platform/transport_policy.h"
#include "support/loopback_fixture.h"

namespace tolba {
namespace {

TEST(TransportPolicyTest, LoopbackHostsOnlyUnlessAllowed) {
  const struct {
    const char* url;
    bool strict;   // the default build
    bool allowed;  // with "allowplainhttp" 1 in Tolba.plist
  } cases[] = {
      {"https://sdk.example.com/sdkmini/x", true, true},
      {"HTTPS://sdk.example.com", true, true},
      {"http://127.0.0.1:8080/x", true, true},
      {"http://127.9.0.1/x", true, true},
      {"http://localhost:9/x", true, true},
      {"http://[::1]:8080/x", true, true},
      {"http://sdk.example.com/x", false, true},
      {"http://192.168.1.20:8080/x", false, true},
      {"http://127.0.0.1.evil.example/x", false, true},
      {"http://localhost.evil.example/x", false, true},
      {"http://127.0.0.1@evil.example/x", false, true},  // the host is after the "@"
      {"http://user@127.0.0.1/x", true, true},
      {"ftp://127.0.0.1/x", false, false},
      {"http:///x", false, false},
      {"", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::transport::urlAllowed(c.url, false), c.strict) << c.url;
    EXPECT_EQ(platform::transport::urlAllowed(c.url, true), c.allowed) << c.url;
  }
}

class PlainHttpTransportTest : public testing::LoopbackTest {
 protected:
  nlohmann::json config() override { return {{"url", "http://sdk.example.com"}}; }
};

TEST_F(PlainHttpTransportTest, APlainHttpRequestToAnotherHostIsRefusedAsUnreadableAndSaidAtInit) {
  testing::BlockProbe probe;
  TolbaNetTool::netPostWithUrl("sdkmini/pay/getPayWay", {{"zz", ""}}, probe.block());
  drain();
  ASSERT_EQ(probe.calls(), 1u);
  EXPECT_FALSE(probe.results[0].has_value()) << "a nil reply: the player sees 接口异常, not a network message";
  EXPECT_TRUE(probe.released());
  EXPECT_TRUE(log_->contains("HTTP: refused to send sdkmini/pay/getPayWay: plain http:// to sdk.example.com"));

  auto config = std::make_shared<TolbaSDKInitConfig>();
  config->setGameid("1001");
  TolbaSDKCore::shared()->initWithConfig(config, nullptr, nullptr);
  EXPECT_TRUE(
      log_->contains("TolbaLog:the base URL http://sdk.example.com is plain http:// to a host other than "
                     "this machine: every request to it is refused. Use https://, or set \"allowplainhttp\" "
                     "to 1 in Tolba.plist to allow it"));
  writeConfig({{"url", "http://sdk.example.com"}, {"allowplainhttp", 1}});
  TolbaSDKCore::shared()->initWithConfig(config, nullptr, nullptr);
  EXPECT_TRUE(log_->contains("TolbaLog:warning: requests go over plain http:// to http://sdk.example.com"));
}

}  // namespace
}  // namespace tolba
