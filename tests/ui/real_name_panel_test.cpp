// The real-name panel driven by a player against a loopback server: submit
// forwards every reply unchanged and leaves the panel up, cancel hands over nil
// and closes it.
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/panel_fixture.h"
#include "tolba/player/player.h"
#include "toolkit/button.h"
#include "toolkit/touch.h"
#include "ui/TolbaRealView.h"
#include "ui/network_failure_texts.h"

namespace tolba {
namespace {

using Json = nlohmann::json;
using Reply = testing::LoopbackServer::Reply;
using player::Player;

class RealNamePanelTest : public testing::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    panel_ = TolbaRealView::present([this](const std::optional<Json>& result) { results_.push_back(result); });
    ASSERT_TRUE(panel_);
  }
  // The box's button titled `title`.
  platform::Button& button(const std::string& title) {
    for (const auto& view : panel_->subContentView()->subviews()) {
      if (auto* b = dynamic_cast<platform::Button*>(view.get()); b && b->currentTitle() == title) return *b;
    }
    throw std::runtime_error("no button " + title);
  }
  bool waitForResults(std::size_t count) {
    return runUntil([&] { return results_.size() >= count; });
  }
  bool shown() const { return panel_->superview() == window_.get(); }

  std::shared_ptr<TolbaRealView> panel_;
  std::vector<std::optional<Json>> results_;
};

TEST_F(RealNamePanelTest, EmptySubmitGoesOutAndTheReplyIsHandedOverUnchanged) {
  EXPECT_TRUE(onScreen("实名认证"));
  EXPECT_EQ(button("取消").frame(), (platform::Rect{10, 245, 135, 45}));
  EXPECT_EQ(button("提交").frame(), (platform::Rect{155, 245, 135, 45}));

  const Json reply = {{"z", 1}, {"nrz", 1}, {"extra", {{"kept", true}}}};
  server_->enqueue(Reply::json(reply));
  ASSERT_TRUE(Player::tap(button("提交")));
  ASSERT_TRUE(waitForResults(1));
  const auto request = server_->requests().at(0);
  EXPECT_EQ(request.target, "/sdkmini/login/idcheck");
  EXPECT_EQ(request.json, (Json{{"i", ""}, {"g", "1001"}, {"id", ""}, {"r", ""}}));
  EXPECT_EQ(results_[0], reply);
  EXPECT_TRUE(shown());  // closing after an accepted reply is the presenter's call
}

TEST_F(RealNamePanelTest, StaysUpOnRefusalAndHandsOverEachReplyIncludingAnUnreadableOne) {
  ASSERT_TRUE(Player::type(*panel_->nameF(), "张三"));
  ASSERT_TRUE(Player::type(*panel_->codeF(), " 11010519491231002X"));
  server_->enqueue(Reply::json({{"z", 0}, {"msg", "身份证号不正确"}}));
  ASSERT_TRUE(Player::tap(button("提交")));
  ASSERT_TRUE(waitForResults(1));
  EXPECT_EQ(results_[0], (Json{{"z", 0}, {"msg", "身份证号不正确"}}));
  EXPECT_EQ(server_->lastJson().at("r"), "张三");
  EXPECT_EQ(server_->lastJson().at("id"), " 11010519491231002X");  // as typed
  EXPECT_TRUE(shown());
  EXPECT_EQ(panel_->nameF()->text(), "张三");

  server_->enqueue(Reply::raw("x1_2_3y"));
  ASSERT_TRUE(Player::tap(button("提交")));
  ASSERT_TRUE(waitForResults(2));
  EXPECT_EQ(results_[1], std::nullopt);
  EXPECT_TRUE(shown());
  drain();
  EXPECT_EQ(results_.size(), 2u);
}

TEST_F(RealNamePanelTest, ASubmitWithoutAnAnswerKeepsThePanelUsableAndASecondTapSendsNothing) {
  server_->enqueue(Reply::close().untilReleased());
  ASSERT_TRUE(Player::tap(button("提交")));
  ASSERT_TRUE(server_->waitForRequests(1));
  ASSERT_TRUE(Player::tap(button("提交")));  // while the first is in flight
  server_->release();
  ASSERT_TRUE(runUntil([&] { return onScreen(kNetworkFailedToast); }));
  EXPECT_EQ(server_->requestCount(), 1u);
  EXPECT_TRUE(results_.empty());
  EXPECT_TRUE(shown());

  advance(3);  // the toast fades
  server_->enqueue(Reply::json({{"z", 1}}));
  ASSERT_TRUE(Player::tap(button("提交")));
  ASSERT_TRUE(waitForResults(1));
  EXPECT_EQ(results_[0], (Json{{"z", 1}}));
}

TEST_F(RealNamePanelTest, CancelHandsOverNilWhileStillShownThenCloses) {
  bool shownDuringCall = false;
  panel_->setCompletionBlock([&](const std::optional<Json>& result) {
    shownDuringCall = shown();
    results_.push_back(result);
  });
  ASSERT_TRUE(Player::type(*panel_->nameF(), "张三"));
  // A touch on the backdrop only puts the keyboard away.
  window_->sendTouch(platform::TouchPhase::Began, {5, 5});
  window_->sendTouch(platform::TouchPhase::Ended, {5, 5});
  EXPECT_FALSE(panel_->nameF()->isFirstResponder());
  EXPECT_TRUE(shown());

  ASSERT_TRUE(Player::tap(button("取消")));
  ASSERT_EQ(results_.size(), 1u);
  EXPECT_EQ(results_[0], std::nullopt);
  EXPECT_TRUE(shownDuringCall);
  EXPECT_FALSE(shown());
  EXPECT_EQ(HttpClient::shared().inFlight(), 0u);

  // Without a completion block the panel just closes.
  auto bare = TolbaRealView::present({});
  ASSERT_TRUE(bare);
  panel_ = bare;
  ASSERT_TRUE(Player::tap(button("取消")));
  EXPECT_EQ(bare->superview(), nullptr);
}

}  // namespace
}  // namespace tolba
