#include <gtest/gtest.h>

#include "net/http_client.h"
#include "sdk/TolbaSDKCore.h"
#include "support/fake_presenter.h"
#include "support/loopback_server.h"
#include "support/sdk_fixture.h"

namespace tolba {
namespace {

using testing::FakePresenter;
using testing::NotificationRecorder;
using Json = nlohmann::json;

struct LoginFlowTest : testing::SdkTest {
  std::shared_ptr<FakePresenter> panels = std::make_shared<FakePresenter>();
  std::shared_ptr<TolbaSDKCore> sdk;
  NotificationRecorder rec{{kTolbaSDKNotiLogin, kTolbaSDKNotiRealAuth}};
  std::unique_ptr<testing::LoopbackServer> server;

  void SetUp() override {
    SdkTest::SetUp();
    PanelPresenter::setCurrent(panels);
    // The server answers nothing until the test ends: the test drives the
    // replies by hand (scripted replies go first).
    server = std::make_unique<testing::LoopbackServer>();
    server->setResponder([](const auto&) { return testing::LoopbackServer::Reply::json({}).untilReleased(); });
    sdk = initialisedSdk(server->baseUrl());
    rec.clear();
  }
  void TearDown() override {
    server.reset();
    runUntil([] { return HttpClient::shared().inFlight() == 0; });
    drain();
    PanelPresenter::setCurrent(nullptr);
    SdkTest::TearDown();
  }
  static Json loginResult(int nrz) {
    return {{"code", "0"},      {"msg", "成功"}, {"name", "u1"},
            {"loginTime", "t"}, {"sign", "s"},   {"rzdic", {{"z", 1}, {"b", "u1"}, {"nrz", nrz}}}};
  }
};

TEST_F(LoginFlowTest, APanelFailureIsShownAndReportedAsMinusTwo) {
  ASSERT_EQ(sdk->login(), 0);
  EXPECT_TRUE(log_->contains("TolbaLog:设备码 = "));
  ASSERT_EQ(panels->loginPanels, 1);
  panels->loginCompletion(Json{{"code", "-1"}, {"msg", "密码错误"}});
  drain();
  ASSERT_EQ(rec.posted().size(), 1u);
  EXPECT_EQ(rec.posted()[0].userInfo, (Json{{"error", -2}, {"msg", "密码错误"}}));
  EXPECT_EQ(panels->warnings.back(), "密码错误");
  EXPECT_FALSE(panels->floatShown);
  EXPECT_FALSE(sdk->loginData().has_value());
}

TEST_F(LoginFlowTest, AVerifiedAccountSkipsTheRealNamePanelAndShowsTheButton) {
  sdk->login();
  panels->loginCompletion(loginResult(1));
  EXPECT_EQ(panels->realNamePanels, 0);
  EXPECT_TRUE(panels->floatShown);
  EXPECT_EQ(sdk->loginData(), loginResult(1));
  EXPECT_EQ((*sdk->realNameInfo())["age"], "20");
}

TEST_F(LoginFlowTest, AnUnverifiedAccountGetsTheRealNamePanelAndCancelStillSignsIn) {
  sdk->login();
  panels->loginCompletion(loginResult(0));
  ASSERT_EQ(panels->realNamePanels, 1);
  panels->realNameCompletion(std::nullopt);
  EXPECT_TRUE(log_->contains("实名回调 resultDic = (null)"));
  EXPECT_EQ(sdk->realNameInfo(), (Json{{"error", 0},
                                       {"msg", "用户取消认证"},
                                       {"isRealName", "0"},
                                       {"age", "-1"},
                                       {"isResumeGame", "1"},
                                       {"realOther", ""}}));
  EXPECT_EQ(panels->realNameRemovals, 0);
}

TEST_F(LoginFlowTest, TheRealNameDecisionTable) {
  sdk->login();
  panels->loginCompletion(loginResult(0));
  sdk->checkRzWithDic(Json{{"z", "0"}});  // refused: panel stays
  EXPECT_EQ(panels->realNameRemovals, 0);
  EXPECT_EQ((*sdk->realNameInfo())["msg"], "用户取消认证");
  sdk->checkRzWithDic(Json{{"z", 1}, {"nrz", 2}});
  EXPECT_EQ(panels->realNameRemovals, 1);
  EXPECT_EQ((*sdk->realNameInfo())["age"], "10");
  EXPECT_EQ((*sdk->realNameInfo())["isRealName"], "1");
  sdk->checkRzWithDic(Json{{"z", 1}, {"nrz", 5}});
  EXPECT_EQ((*sdk->realNameInfo())["isRealName"], "0");
  const auto before = sdk->realNameInfo();
  sdk->checkRzWithDic(Json{{"z", 1}});  // no state: closes, keeps the earlier dictionary
  EXPECT_EQ(sdk->realNameInfo(), before);
  EXPECT_EQ(panels->realNameRemovals, 3);
}

TEST_F(LoginFlowTest, AnAcceptedSignInStoresTheSessionAndPostsLoginThenRealAuth) {
  sdk->signInDidReply(
      Json{{"a", 1}, {"c", {{"username", "agg-7"}, {"token", "tk"}, {"logintime", 1700}, {"age", 25}}}});
  EXPECT_EQ(sdk->username(), "agg-7");
  EXPECT_EQ(sdk->logintimeValue(), 1700);
  drain();
  ASSERT_EQ(rec.names(), (std::vector<std::string>{kTolbaSDKNotiLogin, kTolbaSDKNotiRealAuth}));
  EXPECT_EQ(rec.posted()[0].userInfo,
            (Json{{"error", 0}, {"username", "agg-7"}, {"token", "tk"}, {"logintime", 1700}}));
  EXPECT_EQ(rec.posted()[1].userInfo["age"], "25");
  EXPECT_EQ(rec.posted()[1].userInfo["isRealName"], "1");
  EXPECT_EQ(sdk->realNameInfo(), rec.posted()[1].userInfo);
}

TEST_F(LoginFlowTest, AgeThatIsNullOrEmptyMeansUnverified) {
  for (const Json& age : {Json(nullptr), Json("")}) {
    rec.clear();
    sdk->signInDidReply(Json{{"a", "1"}, {"c", {{"username", "u"}, {"age", age}}}});
    drain();
    EXPECT_EQ(rec.posted()[1].userInfo["age"], "-1");
    EXPECT_EQ(rec.posted()[1].userInfo["isRealName"], "0");
  }
}

TEST_F(LoginFlowTest, RefusedAndUnreadableSignInsKeepTheEarlierSession) {
  sdk->signInDidReply(Json{{"a", 1}, {"c", {{"username", "first"}}}});
  sdk->signInDidReply(Json{{"a", 0}, {"b", "封号"}});
  sdk->signInDidReply(std::nullopt);
  sdk->signInDidReply(Json{{"a", 1}, {"c", "not a dictionary"}});
  sdk->signInDidReply(Json::array({1, 2}));
  EXPECT_EQ(sdk->username(), "first");
  drain();
  ASSERT_EQ(rec.posted().size(), 10u);
  EXPECT_EQ(rec.posted()[2].userInfo, (Json{{"error", -3}, {"msg", "封号"}}));
  EXPECT_EQ(rec.posted()[4].userInfo, (Json{{"error", -2}}));
  EXPECT_EQ(rec.posted()[6].userInfo, (Json{{"error", -2}}));
  EXPECT_EQ(rec.posted()[8].userInfo["error"], -3);  // an array reads as a refusal without a message
  EXPECT_EQ(rec.posted()[5].userInfo["isRealName"], "0");
  EXPECT_EQ(panels->warnings[0], "封号");
  EXPECT_EQ(panels->warnings[1], "接口异常");
}

TEST_F(LoginFlowTest, LogoutHidesTheButtonAndClearsRealNameAtOnce) {
  EXPECT_EQ(sdk->logout(), -301);
  sdk->login();
  panels->loginCompletion(loginResult(1));
  sdk->signInDidReply(Json{{"a", 1}, {"c", {{"username", "u"}, {"token", "t"}}}});
  EXPECT_EQ(sdk->logout(), 0);
  EXPECT_FALSE(panels->floatShown);
  EXPECT_FALSE(sdk->realNameInfo().has_value());
  EXPECT_EQ(sdk->username(), "u");  // until the server answers
  EXPECT_TRUE(log_->contains("TolbaLog:聚合登出通知"));
}

TEST_F(LoginFlowTest, AMinorsPlayTimeIsCountedDownWarnedAndEndedBySigningOut) {
  NotificationRecorder heard{{kTolbaSDKNotiPlayTime, kTolbaSDKNotiLogout}};
  server->setResponder([](const auto&) { return testing::LoopbackServer::Reply::json({{"a", 1}}); });
  sdk->signInDidReply(Json{{"a", 1}, {"c", {{"username", "tb1"}, {"age", 12}, {"playleft", 700}, {"servertime", 1}}}});
  drain();
  const struct {
    double after;  // seconds of the run loop's clock since the last step
    std::vector<Json> payloads;
  } steps[] = {
      {99, {}},
      {1, {{{"error", 0}, {"msg", "距离今日游戏时间结束还有10分钟"}, {"playleft", 600}}}},
      {540, {{{"error", 0}, {"msg", "距离今日游戏时间结束还有1分钟"}, {"playleft", 60}}}},
      {60, {{{"error", -302}, {"msg", "今日游戏时间已结束"}, {"playleft", 0}}, {{"error", 0}}}},
  };
  for (const auto& step : steps) {
    heard.clear();
    advance(step.after);
    runUntil([&] { return heard.posted().size() >= step.payloads.size(); }, 2);
    std::vector<Json> got;
    for (const auto& n : heard.posted()) got.push_back(n.userInfo);
    EXPECT_EQ(got, step.payloads) << step.after;
  }
  EXPECT_TRUE(panels->playTimeOverShown);
  EXPECT_EQ(panels->warnings.back(), "距离今日游戏时间结束还有1分钟");
  EXPECT_FALSE(sdk->playTimeRunning());
  EXPECT_FALSE(sdk->username());
  EXPECT_EQ(sdk->login(), 0);
  EXPECT_FALSE(panels->playTimeOverShown) << "a new login takes the panel away";
}

TEST_F(LoginFlowTest, ASignInRefusedForThePlayTimeSaysSoInTheRealNameNotification) {
  sdk->signInDidReply(Json{{"a", 0}, {"b", "根据国家规定……"}, {"limit", "playtime"}});
  sdk->signInDidReply(Json{{"a", 0}, {"b", "账号已封禁"}});
  drain();
  ASSERT_EQ(rec.posted().size(), 4u);
  EXPECT_EQ(rec.posted()[1].userInfo["isResumeGame"], "0");
  EXPECT_EQ(rec.posted()[3].userInfo["isResumeGame"], "1");
  EXPECT_FALSE(sdk->playTimeRunning());
}

}  // namespace
}  // namespace tolba
