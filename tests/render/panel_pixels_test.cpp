// The SDK's panels, toast and web page drawn to pixels: the pixels that matter
// (dimming, the box and its corners, the buttons' colours, fading, scrolling).
#include <gtest/gtest.h>

#include "render/pixels.h"
#include "support/loopback_server.h"
#include "support/ui_fixture.h"
#include "toolkit/animation.h"
#include "toolkit/web_view.h"
#include "ui/TolbaLoginView.h"
#include "ui/TolbaMsg.h"

namespace tolba::testing {
namespace {

using platform::Rect;

bool near(int value, int expected, int slack = 2) { return value >= expected - slack && value <= expected + slack; }
bool isRed(const Rgba& p) { return p.r > 150 && p.g < 90 && p.b < 90 && p.a > 150; }

class PanelPixelsTest : public UiTest {};

TEST_F(PanelPixelsTest, LoginPanelDimsTheGameAndShowsItsBoxButtonAndLinks) {
  auto window = showKeyWindow({375, 667});
  auto panel = TolbaBaseView::create<TolbaLoginView>(app().mainScreenBounds());
  window->addSubview(panel);
  Pixels pixels;
  ASSERT_TRUE(pixels.ok());

  // The backdrop: black at alpha 0.2 over the whole screen; a white game shows 204.
  const Rgba backdrop = pixels.at(10, 10);
  EXPECT_TRUE(near(backdrop.a, 51) && backdrop.r == 0 && backdrop.g == 0 && backdrop.b == 0);
  const Rgba dimmed = over(backdrop, 255, 255, 255);
  EXPECT_TRUE(near(dimmed.r, 204) && near(dimmed.g, 204) && near(dimmed.b, 204));

  // The white box (37.5, 183.5, 300, 300): white just inside its edges, not at
  // its very corner, which lies outside the 5-point radius.
  const Rect box = panel->subContentView()->frame();
  for (auto [x, y] : {std::pair{box.x() + 1, box.y() + 120},
                      {box.maxX() - 1, box.y() + 120},
                      {box.x() + 150, box.maxY() - 1},
                      {box.x() + 4, box.y() + 235}}) {
    const Rgba p = pixels.at(x, y);
    EXPECT_TRUE(p.r == 255 && p.g == 255 && p.b == 255 && p.a == 255) << x << ", " << y;
  }
  for (auto [x, y] : {std::pair{box.x(), box.y()}, {box.maxX() - 0.5, box.y()}, {box.x() + 0.5, box.maxY() - 0.5}}) {
    EXPECT_LT(pixels.at(x, y).a, 200) << x << ", " << y;
  }
  EXPECT_LT(pixels.at(box.x() - 1, box.y() + 120).a, 60);  // outside: only the backdrop

  // The submit button (105, 250, 90, 40 in the box): blue, with its white title.
  const Rect submit{box.x() + 105, box.y() + 250, 90, 40};
  const Rgba blue = pixels.at(submit.x() + 3, submit.y() + 3);
  EXPECT_TRUE(blue.r == 0 && blue.g == 0 && blue.b == 255 && blue.a == 255);
  EXPECT_GT(pixels.count(submit, [](const Rgba& p) { return p.r > 200 && p.g > 200 && p.b > 200; }), 30);

  // The two agreement links: red ink inside each frame, none in the lead-in label.
  for (double x : {125.0, 190.0}) {
    EXPECT_GT(pixels.count({box.x() + x, box.y() + 150, 50, 30}, isRed), 40) << x;
  }
  EXPECT_EQ(pixels.count({box.x() + 80, box.y() + 150, 45, 30}, isRed), 0);
}

TEST_F(PanelPixelsTest, ToastIsHalfTransparentHalfWayThroughItsFade) {
  auto window = showKeyWindow({375, 667});
  TolbaMsg::showMessage(std::string("支付成功"), window);
  const Rect box = window->subviews().back()->frame();
  // Its top padding (no text) at the middle of the box.
  const double x = box.x() + box.width() / 2;
  const double y = box.y() + 4;

  advance(0.2);  // still before the fade starts
  EXPECT_EQ(Pixels().at(x, y).a, 255);
  advance(0.1 + 1.0);  // half of the 2-second fade
  const Rgba half = Pixels().at(x, y);
  EXPECT_TRUE(near(half.a, 128) && half.r == 0 && half.g == 0 && half.b == 0) << half.a;
  advance(1.0);
  EXPECT_EQ(Pixels().at(x, y).a, 0);
}

TEST_F(PanelPixelsTest, SlidingViewIsDrawnWhereItIsNow) {
  auto window = showKeyWindow({375, 667});
  auto button = std::make_shared<platform::View>(Rect{0, 300, 40, 40});
  button->setBackgroundColor(platform::Color::blueColor());
  window->addSubview(button);
  platform::animateWithDuration(1.0, [&] { button->setCenter({355, 320}); });
  advance(0.5);  // half way in time is half way in space (the curve is symmetric)
  const Pixels pixels;
  EXPECT_EQ(pixels.at(187.5, 320).b, 255);
  EXPECT_EQ(pixels.at(20, 320).a, 0);
  EXPECT_EQ(pixels.at(355, 320).a, 0);
}

TEST_F(PanelPixelsTest, WebViewDrawsItsPageAndScrollsWithADrag) {
  LoopbackServer server;
  std::string html = "<html><body><h1>用户协议</h1>";
  for (int i = 0; i < 40; ++i) html += "<p>第" + std::to_string(i) + "条：平台币仅可用于本平台内的游戏消费。</p>";
  server.route("/agreement.html", LoopbackServer::Reply::page(html + "</body></html>"));

  auto window = showKeyWindow({375, 667});
  window->setBackgroundColor(platform::Color::whiteColor());
  auto web = std::make_shared<platform::WebView>(Rect{20, 100, 300, 250});
  web->setBackgroundColor(platform::Color::whiteColor());
  window->addSubview(web);
  web->loadRequest(platform::URLRequest(server.url("/agreement.html")));
  ASSERT_TRUE(runUntil([&] { return !web->isLoading() && !web->pageText().empty(); }));

  auto ink = [](const Rgba& p) { return p.r < 100 && p.g < 100 && p.b < 100; };
  const Rect frame = web->frame();
  const Pixels top;
  EXPECT_GT(top.count(frame, ink), 500);
  EXPECT_EQ(top.count({0, 360, 375, 300}, ink), 0);  // nothing spills below the view
  EXPECT_GT(web->contentSize().height, 1000);

  window->sendTouch(platform::TouchPhase::Began, {150, 300});
  window->sendTouch(platform::TouchPhase::Moved, {150, 180});
  window->sendTouch(platform::TouchPhase::Ended, {150, 180});
  EXPECT_EQ(web->contentOffset().y, 120);
  EXPECT_NE(Pixels().mask(frame, ink), top.mask(frame, ink));

  // A drag far past the end stops at the page's end.
  window->sendTouch(platform::TouchPhase::Began, {150, 340});
  window->sendTouch(platform::TouchPhase::Moved, {150, -5000});
  window->sendTouch(platform::TouchPhase::Ended, {150, -5000});
  EXPECT_EQ(web->contentOffset().y, web->contentSize().height - frame.height());
}

}  // namespace
}  // namespace tolba::testing
