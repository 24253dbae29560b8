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

  httplib::Result postLogin(double readTimeoutSeconds = 10) const {
    return postRaw(kLogin, loginBody_, readTimeoutSeconds);
  }

  void expectNormalLogin() const { EXPECT_EQ(call(kLogin, loginRequest("alice", "secret")).value("z", -1), 1); }

  std::string loginBody_;
};

TEST_F(SandboxFaultsTest, EveryModeHitsOneRequestThenTheEndpointAnswersNormally) {
  struct Case {
    FaultMode mode;
    double seconds;
    int status;                  // 0: no reply at all
    std::optional<Json> strict;  // the reply as the client decodes it; none: does not decode
    std::optional<Json> lenient;
    bool emptyBody;
  };
  const Json ok = {{"z", 1}};
  const Case cases[] = {
      {FaultMode::Status500Empty, 0, 500, std::nullopt, std::nullopt, true},
      {FaultMode::Status500Valid, 0, 500, ok, std::nullopt, false},
      {FaultMode::Garbage, 0, 200, std::nullopt, std::nullopt, false},
      {FaultMode::LineBreaks, 0, 200, std::nullopt, ok, false},  // the true reply, only the lenient reader takes it
      {FaultMode::Close, 0, 0, std::nullopt, std::nullopt, false},
      {FaultMode::Delay, 0.05, 200, ok, std::nullopt, false},  // a short delay still answers
      {FaultMode::Refuse, 0, 200, Json{{"z", 0}, {"x", "维护中"}}, std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(faultModeName(c.mode));
    server_->faults().add({kLogin, c.mode, 1, c.seconds, c.mode == FaultMode::Refuse ? "维护中" : ""});
    const auto res = postLogin();
    if (c.status == 0) {
      EXPECT_FALSE(res) << "status " << (res ? res->status : 0);
    } else {
      ASSERT_TRUE(res);
      EXPECT_EQ(res->status, c.status);
      EXPECT_EQ(res->body.empty(), c.emptyBody);
      const auto strict = TolbaDataFunc::decodingJSON(res->body);
      EXPECT_EQ(strict.has_value(), c.strict.has_value());
      if (strict && c.strict) {
        // A refusal carries the endpoint's own keys only; a real reply carries more.
        const Json seen = c.mode == FaultMode::Refuse ? *strict : Json{{"z", (*strict)["z"]}};
        EXPECT_EQ(seen, *c.strict) << strict->dump();
      }
      if (c.lenient) {
        EXPECT_EQ((*TolbaDataFunc::decodingJSONLenient(res->body))["z"], 1);
      }
    }
    expectNormalLogin();
  }
}

TEST_F(SandboxFaultsTest, RulesCountDownExactPathsComeFirstAndStopCutsADelayShort) {
  server_->faults().add({"*", FaultMode::Status500Empty, 5});
  server_->faults().add({kLogin, FaultMode::Garbage, 2});
  for (int i = 0; i < 2; ++i) EXPECT_EQ(postLogin()->status, 200) << i;
  EXPECT_EQ(postLogin()->status, 500) << "then the catch-all";
  ASSERT_EQ(server_->faults().rules().size(), 1u);
  EXPECT_EQ(server_->faults().rules()[0].count, 4);
  // Pages are not endpoints and take no faults.
  EXPECT_EQ(client()->Get("/useragreement.html")->status, 200);
  server_->faults().clear();
  expectNormalLogin();

  server_->faults().add({kLogin, FaultMode::Delay, 1, 600});
  const auto res = postLogin(0.2);
  EXPECT_EQ(res.error(), httplib::Error::Read) << "the client gave up first";
  // The held request ends with the server instead of holding it up for ten
  // minutes (the suite's time-out would catch a stop that waits).
  server_->stop();
  EXPECT_FALSE(server_->running());
}

TEST_F(SandboxFaultsTest, AdminEndpointAndServeFlagsDescribeFaults) {
  auto c = client();
  auto res = c->Post("/sandbox/admin/faults",
                     R"({"path": "/sdkmini/login/dologin", "mode": "refuse", "count": 2, "message": "维护中"})",
                     "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200) << res->body;
  const Json listed = Json::parse(c->Get("/sandbox/admin/faults")->body);
  ASSERT_EQ(listed["faults"].size(), 1u);
  EXPECT_EQ(listed["faults"][0], Json({{"path", kLogin}, {"mode", "refuse"}, {"count", 2}, {"message", "维护中"}}));
  for (const char* bad :
       {"not json", R"({"path": "*", "mode": "explode"})", R"({"path": "*", "mode": "delay", "seconds": 1e9})"}) {
    EXPECT_EQ(c->Post("/sandbox/admin/faults", bad, "application/json")->status, 400) << bad;
  }
  EXPECT_EQ(Json::parse(c->Delete("/sandbox/admin/faults")->body)["faults"].size(), 0u);
  expectNormalLogin();

  std::string error;
  auto options = parseServeOptions(
      {"--fault", "sdkmini/login/dologin,refuse,1,维护中，请稍后,再试", "--fault", "*,delay,3,2.5"}, &error);
  ASSERT_TRUE(options.has_value()) << error;
  ASSERT_EQ(options->faults.size(), 2u);
  EXPECT_EQ(options->faults[0].message, "维护中，请稍后,再试");
  EXPECT_EQ(options->faults[1].count, 3);
  EXPECT_EQ(options->faults[1].seconds, 2.5);
  for (const char* bad : {"*,delay,1", "*,teleport,1", "*,close,many"}) {
    EXPECT_FALSE(parseServeOptions({"--fault", bad}, &error).has_value()) << bad;
  }
}

TEST_F(SandboxFaultsTest, BodiesOverTheLimitGet413) {
  const auto res = postRaw(kLogin, std::string(1024 * 1024 + 1, '1'));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 413);
  expectNormalLogin();
}

}  // namespace
}  // namespace tolba::sandbox::testing
