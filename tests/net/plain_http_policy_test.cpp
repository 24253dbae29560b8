// Plain http:// only to loopback hosts unless the build allows it; the refusal
// is the transport's failure path (a log line, the block never called).

#include <gtest/gtest.h>

#include "net/TolbaNetTool.h"
#include "net/plain_http_policy.h"
#include "support/loopback_fixture.h"

namespace tolba {
namespace {

TEST(PlainHttpPolicyTest, LoopbackHostsOnlyUnlessAllowed) {
  const struct {
    const char* url;
    bool strict;   // the default build
    bool allowed;  // built with TOLBA_ALLOW_PLAIN_HTTP
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
    EXPECT_EQ(urlAllowed(c.url, false), c.strict) << c.url;
    EXPECT_EQ(urlAllowed(c.url, true), c.allowed) << c.url;
  }
}

class PlainHttpTransportTest : public testing::LoopbackTest {
 protected:
  nlohmann::json config() override { return {{"url", "http://sdk.example.com"}}; }
};

TEST_F(PlainHttpTransportTest, APlainHttpRequestToAnotherHostIsRefusedAndLogged) {
  testing::BlockProbe probe;
  TolbaNetTool::netPostWithUrl("sdkmini/pay/getPayWay", {{"zz", ""}}, probe.block());
  drain();
  EXPECT_EQ(probe.calls(), 0u);
  EXPECT_TRUE(probe.released()) << "the block is let go, not kept for ever";
  EXPECT_TRUE(log_->contains("HTTP: refused to send sdkmini/pay/getPayWay: plain http:// to sdk.example.com"));
}

}  // namespace
}  // namespace tolba
