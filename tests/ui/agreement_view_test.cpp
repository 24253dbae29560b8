// The agreement panel: name and address (also after a rotation), back.
#include <gtest/gtest.h>

#include "support/loopback_server.h"
#include "support/ui_fixture.h"
#include "tolba/player/player.h"
#include "toolkit/button.h"
#include "toolkit/text_field.h"
#include "ui/TolbaAgreementView.h"

namespace tolba {
namespace {

using platform::Rect;
using player::Player;
using Reply = testing::LoopbackServer::Reply;

class AgreementViewTest : public testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    window_ = showKeyWindow({375, 667});
    server_.route("/useragreement.html", Reply::page("<h1>用户协议</h1>"));
    server_.route("/privacyagreement.html", Reply::page("<h1>隐私政策</h1>"));
  }
  // As the login panel presents it: create, name, address, then into the key window.
  std::shared_ptr<TolbaAgreementView> present(const std::string& name, const std::string& path) {
    auto panel = TolbaBaseView::create<TolbaAgreementView>(app().mainScreenBounds());
    panel->setName(name);
    panel->setUrl(server_.url(path));
    app().keyWindow()->addSubview(panel);
    return panel;
  }
  std::shared_ptr<platform::Button> backButton(const TolbaAgreementView& panel) {
    for (const auto& v : panel.subContentView()->subviews()) {
      if (auto b = std::dynamic_pointer_cast<platform::Button>(v)) return b;
    }
    return nullptr;
  }
  bool loaded(const TolbaAgreementView& panel) {
    return runUntil([&] { return panel.webView() && !panel.webView()->isLoading(); });
  }
  testing::LoopbackServer server_;
  std::shared_ptr<platform::Window> window_;
};

TEST_F(AgreementViewTest, NameAndAddressAlsoAfterARotation) {
  auto panel = present("隐私政策", "/privacyagreement.html");
  EXPECT_EQ(panel->titleL()->text(), "隐私政策");
  EXPECT_EQ(panel->url(), server_.url("/privacyagreement.html"));
  ASSERT_TRUE(loaded(*panel));
  EXPECT_EQ(panel->webView()->pageText(), "<h1>隐私政策</h1>");
  // One plain request: exactly that address, no Referer of the panel's own.
  const auto requests = server_.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/privacyagreement.html");
  EXPECT_FALSE(requests[0].headers.contains("referer"));

  // A rotation builds a new box that loads the same page again.
  std::weak_ptr<platform::WebView> oldWeb = panel->webView();
  Player::rotate(platform::InterfaceOrientationLandscapeRight);
  drain();
  EXPECT_TRUE(oldWeb.expired());
  EXPECT_EQ(panel->titleL()->text(), "隐私政策");
  ASSERT_TRUE(loaded(*panel));
  EXPECT_EQ(panel->webView()->pageText(), "<h1>隐私政策</h1>");
  EXPECT_EQ(server_.count("/privacyagreement.html"), 2u);
  // The back button of the new box works.
  ASSERT_TRUE(Player::tap(*backButton(*panel)));
  EXPECT_EQ(panel->superview(), nullptr);
}

TEST_F(AgreementViewTest, BackWhileLoadingStopsAndLeavesThePanelBeneathAsItWas) {
  // A stand-in for the login panel, with typed text.
  auto beneath = std::make_shared<platform::View>(app().mainScreenBounds());
  auto field = std::make_shared<platform::TextField>(Rect{50, 300, 200, 40});
  beneath->addSubview(field);
  window_->addSubview(beneath);
  ASSERT_TRUE(Player::type(*field, "player1"));
  field->resignFirstResponder();

  server_.route("/useragreement.html", Reply::page("<h1>用户协议</h1>").untilReleased());
  auto panel = present("用户协议", "/useragreement.html");
  ASSERT_TRUE(server_.waitForRequests(1));
  auto web = panel->webView();
  ASSERT_TRUE(web->isLoading());
  std::weak_ptr<TolbaAgreementView> weak = panel;
  auto back = backButton(*panel);
  panel.reset();

  ASSERT_TRUE(Player::tap(*back));
  EXPECT_TRUE(weak.expired());  // the window let it go
  EXPECT_FALSE(web->isLoading());
  server_.release();
  EXPECT_EQ(window_->subviews().back(), beneath);
  EXPECT_EQ(field->text(), "player1");
  // The finger reaches the panel beneath again.
  EXPECT_TRUE(Player::tap(*field));
}

TEST_F(AgreementViewTest, AMissingOrUnusableAddressLoadsNothing) {
  auto panel = TolbaBaseView::create<TolbaAgreementView>(app().mainScreenBounds());
  panel->setUrl(std::nullopt);
  EXPECT_FALSE(panel->webView()->isLoading());
  panel->setUrl(std::string("not an address"));
  EXPECT_FALSE(panel->webView()->isLoading());
  EXPECT_FALSE(panel->webView()->url().has_value());
  EXPECT_TRUE(server_.requests().empty());
}

}  // namespace
}  // namespace tolba
