// Redrawing only what changed: through a scripted session (a panel, typing, the
// keyboard, a toast fading, the floating button half-hiding, the panel closing),
// each partial redraw of the same buffer must match a full redraw of a fresh
// one, and leave every pixel outside the host's dirty rectangle as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/test_access.h"
#include "support/ui_fixture.h"
#include "tolba/TolbaHost.h"
#include "tolba/TolbaLayer.h"
#include "tolba/platform/run_loop.h"
#include "toolkit/animation.h"
#include "ui/TolbaFloatView.h"
#include "ui/TolbaLoginView.h"
#include "ui/TolbaMsg.h"

namespace tolba {
namespace {

class DamagePixelsTest : public testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    host().setScreen({});  // 375 x 667 at scale 2
    width_ = host().pixelWidth();
    height_ = host().pixelHeight();
    kept_.assign(bytes(), 0);
  }
  static TolbaHost& host() { return TolbaHost::shared(); }
  std::size_t bytes() const { return static_cast<std::size_t>(width_) * height_ * 4; }
  TolbaPixelBuffer buffer(std::vector<std::uint8_t>& v) const { return {v.data(), width_, height_, width_ * 4}; }
  static bool inside(const TolbaPixelRect& r, int x, int y) {
    return x >= r.x && y >= r.y && x < r.x + r.width && y < r.y + r.height;
  }

  // Draws the kept buffer as a game would each frame, checks it against a full
  // picture, and answers the dirty rectangle. The kept buffer is then drawn
  // whole again (a fresh one was drawn last), ready for the next step.
  TolbaPixelRect frame(const std::string& step) {
    if (beforeDraw_) beforeDraw_();
    const TolbaPixelRect dirty = host().dirtyRect();
    const std::vector<std::uint8_t> before = kept_;
    if (beforeDraw_) beforeDraw_();
    EXPECT_TRUE(TolbaLayer::drawInto(buffer(kept_))) << step;
    const TolbaPixelRect drawn = TolbaLayer::lastDrawnRect();
    EXPECT_TRUE(drawn.x == dirty.x && drawn.y == dirty.y && drawn.width == dirty.width && drawn.height == dirty.height)
        << step;
    std::vector<std::uint8_t> full(bytes(), 0);
    if (beforeDraw_) beforeDraw_();
    EXPECT_TRUE(TolbaLayer::drawInto(buffer(full))) << step;
    int wrong = 0, touched = 0;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        const std::size_t i = (static_cast<std::size_t>(y) * width_ + x) * 4;
        for (int c = 0; c < 4; ++c) {
          if (std::abs(kept_[i + c] - full[i + c]) > 2) ++wrong;
          if (!inside(dirty, x, y) && kept_[i + c] != before[i + c]) ++touched;
        }
      }
    }
    EXPECT_EQ(wrong, 0) << step << ": partial and full redraws differ";
    EXPECT_EQ(touched, 0) << step << ": drawn outside the dirty rectangle";
    if (beforeDraw_) beforeDraw_();
    TolbaLayer::drawInto(buffer(kept_));
    return dirty;
  }
  double share(const TolbaPixelRect& r) const { return double(r.width) * r.height / (double(width_) * height_); }

  int width_ = 0, height_ = 0;
  std::vector<std::uint8_t> kept_;
  std::function<void()> beforeDraw_;  // each draw of a frame starts from the same moment
};

// A clock that moves on at every reading, as a real one moves while a picture
// is drawn.
class RunningClock final : public platform::Clock {
 public:
  platform::TimePoint now() const override {
    const double t = t_;
    t_ += 0.01;
    return platform::TimePoint{t};
  }
  void set(double t) { t_ = t; }

 private:
  mutable double t_ = 0;
};

TEST_F(DamagePixelsTest, PartialRedrawsMatchFullOnesThroughASession) {
  TolbaLayer::drawInto(buffer(kept_));
  EXPECT_EQ(host().dirtyRect().width, 0);  // idle: nothing to upload
  auto panel = TolbaLoginView::present([](const nlohmann::json&) {});
  ASSERT_TRUE(panel);
  frame("panel opens");

  for (const auto& e : host().elements()) {
    if (e.kind != "field") continue;
    host().touch(1, TolbaTouchPhase::Began, e.x + 5, e.y + 5);
    host().touch(1, TolbaTouchPhase::Ended, e.x + 5, e.y + 5);
    break;
  }
  ASSERT_TRUE(host().wantsTextInput());
  for (int i = 0; i < 4; ++i) {
    advance(0.1);
    frame("keyboard rises, step " + std::to_string(i));
  }
  host().textInput("tolba");
  EXPECT_LT(share(frame("typing")), 0.1);

  TolbaMsg::showMessage(std::string("支付成功"));
  EXPECT_LT(share(frame("toast appears")), 0.1);
  for (int i = 0; i < 6; ++i) {
    advance(0.4);
    const TolbaPixelRect r = frame("toast fades, step " + std::to_string(i));
    EXPECT_LT(share(r), 0.1) << i;
  }

  host().key(TolbaKey::Escape);
  for (int i = 0; i < 4; ++i) {
    advance(0.1);
    frame("keyboard goes, step " + std::to_string(i));
  }
  panel->removeFromSuperview();
  frame("panel closes");

  TolbaFloatView::shareInstance()->showFloat();
  frame("float button shows");
  for (int i = 0; i < 6; ++i) {
    advance(0.3);
    frame("float button half-hides, step " + std::to_string(i));
  }
  advance(1);
  frame("settled");
  EXPECT_EQ(host().dirtyRect().width, 0);
}

TEST_F(DamagePixelsTest, AViewMovingWhileTheClockRunsLeavesNothingBehind) {
  auto clock = std::make_shared<RunningClock>();
  platform::PlatformTestAccess::setClock(platform::RunLoop::main(), clock);
  auto window = showKeyWindow({375, 667});
  auto square = std::make_shared<platform::View>(platform::Rect{0, 300, 40, 40});
  square->setBackgroundColor(platform::Color::blueColor());
  window->addSubview(square);
  double t = 0;
  beforeDraw_ = [&] { clock->set(t); };
  frame("shown");
  platform::animateWithDuration(1.0, [&] { square->setCenter({300, 320}); });
  for (int i = 1; i <= 6; ++i) {
    t = 0.1 * i;
    frame("moving, step " + std::to_string(i));
  }
}

TEST_F(DamagePixelsTest, ANewBufferOrAResizeIsDrawnWhole) {
  TolbaLayer::drawInto(buffer(kept_));
  TolbaFloatView::shareInstance()->showFloat();
  EXPECT_LT(share(host().dirtyRect()), 0.1);
  std::vector<std::uint8_t> other(bytes(), 0);
  TolbaLayer::drawInto(buffer(other));
  EXPECT_EQ(TolbaLayer::lastDrawnRect().width, width_);  // not the buffer drawn last

  host().redrawAll();
  EXPECT_EQ(host().dirtyRect().height, height_);
  TolbaLayer::drawInto(buffer(other));
  advance(5);  // the button has settled at its edge
  TolbaLayer::drawInto(buffer(other));
  host().setScreen({});  // the same screen again: nothing to redraw
  EXPECT_EQ(host().dirtyRect().width, 0);
  host().setScreen({667, 375, 2, {}, TolbaOrientation::LandscapeRight});
  const TolbaPixelRect r = host().dirtyRect();
  EXPECT_EQ(r.width, host().pixelWidth());
  EXPECT_EQ(r.height, host().pixelHeight());
}

}  // namespace
}  // namespace tolba
