// The login and register panel driven by a player against a loopback server:
// consent guard, mode toggle, the login and registration replies and what they
// hand to the presenter, rotation and agreement links.
#include <gtest/gtest.h>

#include "model/TolbaSDKGameConfig.h"
#include "support/panel_fixture.h"
#include "tolba/player/player.h"
#include "ui/TolbaAgreementView.h"
#include "ui/TolbaLoginView.h"
#include "ui/network_failure_texts.h"

namespace tolba {
namespace {

using Json = nlohmann::json;
using Reply = testing::LoopbackServer::Reply;
using player::Player;

class LoginPanelTest : public testing::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    open();
  }
  void open() {
    panel_ = TolbaLoginView::present([this](const Json& result) { results_.push_back(result); });
    ASSERT_TRUE(panel_);
  }
  // Types the account and the password and, unless told not to, gives consent.
  void fillIn(const std::string& name, const std::string& pwd, bool consent = true) {
    ASSERT_TRUE(Player::type(*panel_->nameF(), name));
    ASSERT_TRUE(Player::type(*panel_->pwdF(), pwd));
    if (consent) {
      ASSERT_TRUE(Player::tap(*panel_->boxBtn()));
    }
  }
  void submit() { ASSERT_TRUE(Player::tap(*panel_->loginBtn())); }
  void toggle() { ASSERT_TRUE(Player::tap(*panel_->statusBtn())); }
  bool waitForResults(std::size_t count) {
    return runUntil([&] { return results_.size() >= count; });
  }
  bool shown() const { return panel_->superview() == window_.get(); }
  std::string title() const { return panel_->titleL()->text(); }
  std::string submitTitle() const { return panel_->loginBtn()->currentTitle(); }

  std::shared_ptr<TolbaLoginView> panel_;
  std::vector<Json> results_;
};

TEST_F(LoginPanelTest, ToggleSwitchesModesAndWithoutConsentNothingIsSentInEither) {
  fillIn("alice", "secret", /*consent=*/false);
  submit();
  EXPECT_TRUE(onScreen("需要确认用户隐私协议"));
  toggle();
  EXPECT_TRUE(panel_->statusBtn()->isSelected());
  EXPECT_EQ(panel_->statusBtn()->currentTitle(), "返回登录");
  EXPECT_EQ(title(), "注册");
  EXPECT_EQ(submitTitle(), "注册");
  submit();
  EXPECT_EQ(HttpClient::shared().inFlight(), 0u);
  drain();
  EXPECT_EQ(server_->requestCount(), 0u);
  EXPECT_TRUE(results_.empty());
  EXPECT_TRUE(shown());
  toggle();
  EXPECT_EQ(panel_->statusBtn()->currentTitle(), "没有账号？去注册");
  EXPECT_EQ(title(), "登录");
  EXPECT_EQ(submitTitle(), "登录");
}

TEST_F(LoginPanelTest, AcceptedLoginHandsOverTheReplyPersistsTheAccountAndCloses) {
  const Json reply = {{"z", "1"}, {"b", "u42"}, {"e", "1700000000"}, {"d", "sig"}, {"nrz", 0}};
  server_->enqueue(Reply::json(reply));
  fillIn(" alice ", "p w");
  submit();
  ASSERT_TRUE(waitForResults(1));

  const auto request = server_->requests().at(0);
  EXPECT_EQ(request.target, "/sdkmini/login/dologin");
  ASSERT_TRUE(request.json);
  EXPECT_EQ(request.json->at("z"), " alice ");  // as typed
  EXPECT_EQ(request.json->at("b"), "p w");
  EXPECT_EQ(results_[0], (Json{{"code", "0"},
                               {"msg", "成功"},
                               {"name", "u42"},
                               {"loginTime", "1700000000"},
                               {"sign", "sig"},
                               {"rzdic", reply}}));
  EXPECT_EQ(TolbaSDKGameConfig::getSdkUid(), "u42");
  EXPECT_FALSE(shown());
  EXPECT_TRUE(log_->contains("结果 = "));
  drain();
  EXPECT_EQ(results_.size(), 1u);

  // Numbers are read as text, and what cannot be read as empty.
  const Json odd = {{"z", 1}, {"b", 12345}, {"e", Json::array()}};
  server_->enqueue(Reply::json(odd));
  open();
  fillIn("alice", "secret");
  submit();
  ASSERT_TRUE(waitForResults(2));
  EXPECT_EQ(results_[1],
            (Json{{"code", "0"}, {"msg", "成功"}, {"name", "12345"}, {"loginTime", ""}, {"sign", ""}, {"rzdic", odd}}));
  EXPECT_EQ(TolbaSDKGameConfig::getSdkUid(), "12345");
  EXPECT_TRUE(log_->contains("TolbaLog:reply has no readable \"e\""));
}

TEST_F(LoginPanelTest, RefusedOrUnreadableLoginRepliesCloseThePanelWithCodeMinusOne) {
  struct Case {
    Reply reply;
    std::string msg;
  };
  const std::vector<Case> cases = {
      {Reply::json({{"z", 2}, {"x", "密码错误"}}), "密码错误"},
      {Reply::raw("x1_2_3y"), "接口异常"},                       // does not decode
      {Reply::json({{"z", 0}, {"x", {{"k", 1}}}}), "接口异常"},  // message that is not text
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    if (i > 0) open();
    results_.clear();
    server_->enqueue(cases[i].reply);
    fillIn("alice", "wrong");
    submit();
    ASSERT_TRUE(waitForResults(1));
    EXPECT_EQ(results_[0], (Json{{"code", "-1"}, {"msg", cases[i].msg}}));
    EXPECT_FALSE(shown());
  }
}

TEST_F(LoginPanelTest, RefusedRegistrationStaysOpenAndAnAcceptedOneLogsInWithTheFieldTexts) {
  server_->enqueue(Reply::json({{"z", 0}, {"d", "账号已存在"}}));
  toggle();
  fillIn("bob", "secret");
  submit();
  ASSERT_TRUE(waitForResults(1));
  EXPECT_EQ(server_->requests().at(0).target, "/sdkmini/login/register");
  EXPECT_EQ(results_[0], (Json{{"code", "-1"}, {"msg", "账号已存在"}}));
  // Still up, as the player left it.
  EXPECT_TRUE(shown());
  EXPECT_EQ(title(), "注册");
  EXPECT_EQ(panel_->nameF()->text(), "bob");

  // The player changes the name; the registration is accepted and a login follows.
  ASSERT_TRUE(Player::type(*panel_->nameF(), "2"));
  server_->enqueue(Reply::json({{"z", 1}}));
  server_->enqueue(Reply::json({{"z", 1}, {"b", "u7"}, {"e", "t"}, {"d", "s"}}));
  submit();
  ASSERT_TRUE(waitForResults(2));
  const auto requests = server_->requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1].target, "/sdkmini/login/register");
  EXPECT_EQ(requests[2].target, "/sdkmini/login/dologin");
  EXPECT_EQ(requests[2].json->at("z"), "bob2");
  EXPECT_EQ(requests[2].json->at("b"), "secret");
  EXPECT_EQ(results_[1].at("code"), "0");
  EXPECT_EQ(results_[1].at("name"), "u7");
  EXPECT_FALSE(shown());
  drain();
  EXPECT_EQ(results_.size(), 2u);
}

TEST_F(LoginPanelTest, ARequestWithoutAnAnswerLeavesThePanelUsableAndASecondTapSendsNothing) {
  fillIn("alice", "secret");
  for (const bool registering : {false, true}) {
    SCOPED_TRACE(registering ? "register" : "login");
    if (registering) toggle();
    const auto before = server_->requestCount();
    server_->enqueue(Reply::close().untilReleased());
    submit();
    ASSERT_TRUE(server_->waitForRequests(before + 1));
    submit();  // while the first request is in flight
    server_->release();
    ASSERT_TRUE(runUntil([&] { return onScreen(kNetworkFailedToast); }));
    EXPECT_EQ(server_->requestCount(), before + 1);
    EXPECT_TRUE(shown());
    EXPECT_TRUE(results_.empty());
    EXPECT_EQ(panel_->nameF()->text(), "alice");
    EXPECT_EQ(panel_->statusBtn()->isSelected(), registering);
    advance(3);  // the toast fades
  }
  // The player tries again, and this time the server answers.
  server_->enqueue(Reply::json({{"z", 0}, {"d", "账号已存在"}}));
  submit();
  ASSERT_TRUE(waitForResults(1));
  EXPECT_EQ(results_[0], (Json{{"code", "-1"}, {"msg", "账号已存在"}}));
}

TEST_F(LoginPanelTest, RotationRebuildsTheControlsEmptyInLoginMode) {
  toggle();
  fillIn("alice", "secret");
  Player::rotate(platform::InterfaceOrientationLandscapeRight);
  drain();
  ASSERT_EQ(panel_->subviews().size(), 1u);  // the old box is gone
  EXPECT_EQ(panel_->nameF()->text(), "");
  EXPECT_FALSE(panel_->statusBtn()->isSelected());
  EXPECT_EQ(title(), "登录");
  submit();
  EXPECT_EQ(HttpClient::shared().inFlight(), 0u);  // consent is off again
}

TEST_F(LoginPanelTest, AgreementLinksOpenTheirPagesOverThePanel) {
  auto openLink = [&](std::int64_t tag) -> std::shared_ptr<TolbaAgreementView> {
    auto* link = panel_->subContentView()->viewWithTag(tag);
    if (link == nullptr || !Player::tap(*link)) return nullptr;
    return std::dynamic_pointer_cast<TolbaAgreementView>(window_->subviews().back());
  };
  auto user = openLink(TolbaLoginView::kUserAgreementTag);
  ASSERT_TRUE(user);
  EXPECT_EQ(user->name(), "用户协议");
  EXPECT_EQ(user->url(), server_->baseUrl() + "/useragreement.html");
  EXPECT_TRUE(shown());
  user->goBack();

  writeConfig({{"url", server_->baseUrl() + "/"}});  // a trailing "/" is kept
  auto privacy = openLink(TolbaLoginView::kPrivacyPolicyTag);
  ASSERT_TRUE(privacy);
  EXPECT_EQ(privacy->name(), "隐私政策");
  EXPECT_EQ(privacy->url(), server_->baseUrl() + "//privacyagreement.html");
}

}  // namespace
}  // namespace tolba
