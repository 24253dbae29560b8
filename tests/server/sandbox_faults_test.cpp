// Faults played on purpose: every mode, their counting, the admin endpoint and
// the serve flag, and the request body limit.

#include "command_line.h"
#include "sandbox_fixture.h"

namespace tolba::sandbox::testing {
namespace {

constexpr char kLogin[] = "sdkmini/login/dologin";

class SandboxFaultsTest : public SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    startServer();
    registerAccount("alice");
    loginBody_ = *TolbaDataFunc::codingJSON(loginRequest("alice", "secret"));
  }

  httplib::Result postLogin(double readTimeoutSeconds = 10) const { return postRaw(kLogin, loginBody_, readTimeoutSeconds); }

  void expectNormalLogin() const {
    const auto res = postLogin();
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    const auto reply = TolbaDataFunc::decodingJSON(res->body);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ((*reply)["z"], 1);
  }

  std::string loginBody_;
};

TEST_F(SandboxFaultsTest, StatusFiveHundredWithAnEmptyOrAValidBody) {
  server_->faults().add({kLogin, FaultMode::Status500Empty, 1});
  auto res = postLogin();
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 500);
  EXPECT_TRUE(res->body.empty());

  server_->faults().add({kLogin, FaultMode::Status500Valid, 1});
  res = postLogin();
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 500);
  const auto reply = TolbaDataFunc::decodingJSON(res->body);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ((*reply)["z"], 1);
  expectNormalLogin();
}

TEST_F(SandboxFaultsTest, GarbageAndLineBreaksDoNotDecodeForTheClient) {
  server_->faults().add({kLogin, FaultMode::Garbage, 1});
  auto res = postLogin();
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_FALSE(TolbaDataFunc::decodingJSON(res->body).has_value());

  server_->faults().add({"sdkmini/pay/getPayWay", FaultMode::LineBreaks, 1});
  res = postRaw("sdkmini/pay/getPayWay", *TolbaDataFunc::codingJSON({{"zz", "100001"}, {"z", "1001"}}));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_FALSE(TolbaDataFunc::decodingJSON(res->body).has_value()) << "the client's reader refuses line breaks";
  const auto lenient = TolbaDataFunc::decodingJSONLenient(res->body);
  ASSERT_TRUE(lenient.has_value()) << "and yet it is the true reply";
  EXPECT_EQ((*lenient)["code"], 1);
  EXPECT_EQ((*lenient)["ttb"], 100);
}

TEST_F(SandboxFaultsTest, CloseEndsTheConnectionWithoutAReply) {
  server_->faults().add({kLogin, FaultMode::Close, 1});
  const auto res = postLogin();
  EXPECT_FALSE(res) << "status " << (res ? res->status : 0);
  expectNormalLogin();
}

TEST_F(SandboxFaultsTest, DelayHoldsTheReplyAndStopCutsItShort) {
  server_->faults().add({kLogin, FaultMode::Delay, 1, 0.05});
  expectNormalLogin();  // a short delay still answers

  server_->faults().add({kLogin, FaultMode::Delay, 1, 600});
  const auto res = postLogin(0.2);
  EXPECT_FALSE(res) << "the client gave up first";
  EXPECT_EQ(res.error(), httplib::Error::Read);
  // The held request ends with the server instead of holding it up for ten
  // minutes (the suite's time-out would catch a stop that waits).
  server_->stop();
  EXPECT_FALSE(server_->running());
}

TEST_F(SandboxFaultsTest, RefuseAnswersInTheEndpointsOwnKeys) {
  server_->faults().add({"sdkstandard/login/index", FaultMode::Refuse, 1, 0, "账号已被封禁"});
  server_->faults().add({"sdkmini/ttbpay/ttbnew", FaultMode::Refuse, 1});
  ChannelLogin l = login("alice");
  const Json refused = signInReply(l.uid, extrasOf(l));
  EXPECT_EQ(refused, Json({{"a", 0}, {"b", "账号已被封禁"}}));
  EXPECT_EQ(signInReply(l.uid, extrasOf(l)).value("a", -1), 1) << "one request only";

  const Json pay = call("sdkmini/ttbpay/ttbnew", payRequest(l.uid, "TB1", "6"));
  EXPECT_EQ(pay.value("z", -1), 0);
  EXPECT_FALSE(pay.value("c", "").empty());
}

TEST_F(SandboxFaultsTest, RulesCountDownAndExactPathsComeFirst) {
  server_->faults().add({"*", FaultMode::Status500Empty, 5});
  server_->faults().add({kLogin, FaultMode::Garbage, 2});
  for (int i = 0; i < 2; ++i) {
    const auto res = postLogin();
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200) << i;
    EXPECT_FALSE(TolbaDataFunc::decodingJSON(res->body).has_value());
  }
  auto res = postLogin();
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 500) << "then the catch-all";
  ASSERT_EQ(server_->faults().rules().size(), 1u);
  EXPECT_EQ(server_->faults().rules()[0].count, 4);
  // Pages and unknown paths are not endpoints and take no faults.
  EXPECT_EQ(client()->Get("/useragreement.html")->status, 200);
  server_->faults().clear();
  expectNormalLogin();
  EXPECT_TRUE(log_->contains("[fault garbage]"));
}

TEST_F(SandboxFaultsTest, AdminEndpointAddsListsAndClearsFaults) {
  auto c = client();
  auto res = c->Post("/sandbox/admin/faults", R"({"path": "/sdkmini/login/dologin", "mode": "refuse", "count": 2, "message": "维护中"})",
                     "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200) << res->body;
  const Json listed = Json::parse(c->Get("/sandbox/admin/faults")->body);
  ASSERT_EQ(listed["faults"].size(), 1u);
  EXPECT_EQ(listed["faults"][0], Json({{"path", kLogin}, {"mode", "refuse"}, {"count", 2}, {"message", "维护中"}}));
  EXPECT_EQ(call(kLogin, loginRequest("alice", "secret")), Json({{"z", 0}, {"x", "维护中"}}));

  for (const char* bad : {"not json", R"({"mode": "delay"})", R"({"path": "*", "mode": "explode"})",
                                R"({"path": "*", "mode": "delay"})", R"({"path": "*", "mode": "close", "count": 0})",
                                R"({"path": "*", "mode": "delay", "seconds": 1e9})"}) {
    res = c->Post("/sandbox/admin/faults", bad, "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400) << bad;
    EXPECT_TRUE(Json::parse(res->body).contains("error"));
  }
  res = c->Delete("/sandbox/admin/faults");
  ASSERT_TRUE(res);
  EXPECT_EQ(Json::parse(res->body)["faults"].size(), 0u);
  expectNormalLogin();
}

TEST_F(SandboxFaultsTest, ServeFlagsDescribeFaults) {
  std::string error;
  auto options = parseServeOptions({"--fault", "sdkmini/login/dologin,refuse,1,维护中，请稍后,再试", "--fault",
                                    "*,delay,3,2.5", "--coins", "12.5", "--no-wechat", "--port", "0", "--quiet"},
                                   &error);
  ASSERT_TRUE(options.has_value()) << error;
  ASSERT_EQ(options->faults.size(), 2u);
  EXPECT_EQ(options->faults[0].message, "维护中，请稍后,再试");
  EXPECT_EQ(options->faults[1].path, "*");
  EXPECT_EQ(options->faults[1].count, 3);
  EXPECT_EQ(options->faults[1].seconds, 2.5);
  EXPECT_EQ(options->startingCoins, 1250);
  EXPECT_FALSE(options->wechat);
  EXPECT_FALSE(options->logRequests);

  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--fault", "*,delay,1"},
                                             {"--fault", "*,teleport,1"}, {"--fault", "*,close,many"},
                                             {"--fault", "*,close"}, {"--port", "70000"}, {"--key", "short"},
                                             {"--tls-cert", "c.pem"}, {"--coins", "-1"}, {"--frobnicate"}, {"--db"}}) {
    error.clear();
    EXPECT_FALSE(parseServeOptions(bad, &error).has_value()) << bad[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST_F(SandboxFaultsTest, BodiesOverTheLimitGet413) {
  const std::string big(1024 * 1024 + 1, '1');
  const auto res = postRaw(kLogin, big);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 413);
  EXPECT_TRUE(log_->contains("-> 413"));
  expectNormalLogin();
}

}  // namespace
}  // namespace tolba::sandbox::testing
