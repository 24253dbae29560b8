// Panel base: the content box size rule, the rotation filter, the calling order
// between base and subclass, and the observer going away with the panel.
#include <gtest/gtest.h>

#include "support/ui_fixture.h"
#include "tolba/platform/notification_center.h"
#include "tolba/player/player.h"
#include "toolkit/label.h"
#include "ui/TolbaBaseView.h"

namespace tolba {
namespace {

using platform::Rect;
using player::Player;

constexpr std::int64_t kControlTag = 7;

// A panel that, like the real ones, fills its box in fillContentBox(); it
// sets its own sizes before the base's set-up and counts its rebuilds.
class SamplePanel : public TolbaBaseView {
 public:
  SamplePanel(double wh, double hh, double wv, double hv, std::shared_ptr<int> rebuilds)
      : wh_(wh), hh_(hh), wv_(wv), hv_(hv), rebuilds_(std::move(rebuilds)) {}

  bool initWithFrame(Rect frame) override {
    setSubViewW_h(wh_);
    setSubViewH_h(hh_);
    setSubViewW_v(wv_);
    setSubViewH_v(hv_);
    return TolbaBaseView::initWithFrame(frame);
  }
  void initSubContentViews() override {
    ++*rebuilds_;
    TolbaBaseView::initSubContentViews();
  }
  void fillContentBox() override {
    auto label = std::make_shared<platform::Label>(Rect{0, 0, 300, 40});
    label->setTag(kControlTag);
    subContentView()->addSubview(label);
    label_ = label;
  }
  std::weak_ptr<platform::Label> label_;

 private:
  double wh_, hh_, wv_, hv_;
  std::shared_ptr<int> rebuilds_;
};

class BaseViewTest : public testing::UiTest {
 protected:
  std::shared_ptr<SamplePanel> makePanel(double wh, double hh, double wv, double hv, Rect frame) {
    auto panel = std::make_shared<SamplePanel>(wh, hh, wv, hv, rebuilds_);
    EXPECT_TRUE(panel->initWithFrame(frame));
    return panel;
  }
  // A panel of 300 x 300 points over the whole screen, in the key window.
  std::shared_ptr<SamplePanel> showPanel() {
    auto panel = makePanel(300, 300, 300, 300, app().mainScreenBounds());
    app().keyWindow()->addSubview(panel);
    return panel;
  }
  static std::size_t controlsIn(const platform::View& box) {
    std::size_t n = 0;
    for (const auto& v : box.subviews()) n += v->tag() == kControlTag;
    return n;
  }
  std::shared_ptr<int> rebuilds_ = std::make_shared<int>(0);
};

TEST_F(BaseViewTest, ContentBoxOfFixedPointsIsCentredWhiteRoundedAndOnTop) {
  app().setMainScreenBounds({0, 0, 375, 667});
  auto panel = makePanel(300, 300, 300, 300, {0, 0, 375, 667});
  const auto& box = panel->subContentView();
  ASSERT_TRUE(box);
  EXPECT_EQ(panel->curDirection(), 1u);
  EXPECT_EQ(box->frame(), (Rect{37.5, 183.5, 300, 300}));
  EXPECT_EQ(box->backgroundColor(), platform::Color::whiteColor());
  EXPECT_EQ(panel->subviews().back(), box);
  // The subclass filled the box once, without a rebuild.
  EXPECT_EQ(controlsIn(*box), 1u);
  EXPECT_EQ(*rebuilds_, 0);
  EXPECT_EQ(panel->currentOrientation(), 0);
}

TEST_F(BaseViewTest, SizeRuleExamples) {
  struct Case {
    Rect screen, panelFrame;
    double wh, hh, wv, hv;
    std::uint64_t direction;
    Rect box;
  };
  const Case cases[] = {
      {{0, 0, 375, 667}, {0, 0, 375, 667}, 0, 0, 1.0, 1.0, 1, {0, 0, 375, 667}},  // whole screen
      {{0, 0, 400, 800}, {0, 0, 400, 800}, 0, 0, 0.5, 0.8, 1, {100, 80, 200, 640}},
      // One value above 1 makes both points, even the 0.5.
      {{0, 0, 375, 667}, {0, 0, 375, 667}, 0, 0, 300, 0.5, 1, {37.5, 333.25, 300, 0.5}},
      // 1.0 alone is a fraction (the whole width), not "whole screen".
      {{0, 0, 400, 800}, {0, 0, 400, 800}, 0, 0, 1.0, 0.5, 1, {0, 200, 400, 400}},
      // The panel's own frame picks the pair: wider than tall takes the landscape one, square the portrait one.
      {{0, 0, 667, 375}, {0, 0, 667, 375}, 200, 100, 300, 300, 0, {233.5, 137.5, 200, 100}},
      {{0, 0, 667, 375}, {0, 0, 500, 500}, 200, 100, 50, 60, 1, {308.5, 157.5, 50, 60}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.box));
    app().setMainScreenBounds(c.screen);
    auto panel = makePanel(c.wh, c.hh, c.wv, c.hv, c.panelFrame);
    EXPECT_EQ(panel->curDirection(), c.direction);
    EXPECT_EQ(panel->subContentView()->frame(), c.box);
  }
}

TEST_F(BaseViewTest, AcceptedRotationRebuildsTheBoxOnceForTheNewScreen) {
  showKeyWindow({375, 667});
  auto panel = showPanel();
  std::weak_ptr<platform::View> oldBox = panel->subContentView();
  std::weak_ptr<platform::Label> oldLabel = panel->label_;

  Player::rotate(platform::InterfaceOrientationLandscapeRight);
  EXPECT_EQ(*rebuilds_, 0);  // heard at the loop's next turn, not inside rotate()
  drain();

  EXPECT_EQ(*rebuilds_, 1);
  EXPECT_EQ(panel->currentOrientation(), platform::InterfaceOrientationLandscapeRight);
  EXPECT_EQ(panel->frame(), (Rect{0, 0, 667, 375}));
  // The old box and its controls are gone; the new one holds the controls once.
  EXPECT_TRUE(oldBox.expired());
  EXPECT_TRUE(oldLabel.expired());
  const auto& box = panel->subContentView();
  EXPECT_EQ(box->frame(), (Rect{183.5, 37.5, 300, 300}));
  EXPECT_EQ(controlsIn(*box), 1u);
  EXPECT_EQ(panel->subviews().size(), 1u);
}

TEST_F(BaseViewTest, UnknownAndRepeatedOrientationsLeaveTheBoxAlone) {
  showKeyWindow({375, 667});
  auto panel = showPanel();
  auto& center = platform::NotificationCenter::defaultCenter();

  // The first valid notification rebuilds even though nothing turned.
  center.post(platform::kApplicationDidChangeStatusBarOrientationNotification);
  EXPECT_EQ(*rebuilds_, 1);
  EXPECT_EQ(panel->currentOrientation(), platform::InterfaceOrientationPortrait);
  auto box = panel->subContentView();
  auto label = panel->label_.lock();

  // The same orientation again: untouched.
  center.post(platform::kApplicationDidChangeStatusBarOrientationNotification);
  // Orientation 0 (unknown): untouched, and it is not remembered.
  Player::rotate(platform::InterfaceOrientationUnknown);
  drain();
  EXPECT_EQ(*rebuilds_, 1);
  EXPECT_EQ(panel->subContentView(), box);
  EXPECT_EQ(panel->label_.lock(), label);
  EXPECT_EQ(panel->currentOrientation(), platform::InterfaceOrientationPortrait);

  // Portrait again after the unknown one is still the orientation last built for.
  Player::rotate(platform::InterfaceOrientationPortrait);
  drain();
  EXPECT_EQ(*rebuilds_, 1);
  EXPECT_EQ(panel->subContentView(), box);
}

TEST_F(BaseViewTest, AReleasedPanelHearsNoMoreNotifications) {
  showKeyWindow({375, 667});
  auto observers = [] {
    return platform::NotificationCenter::defaultCenter().observerCount(
        platform::kApplicationDidChangeStatusBarOrientationNotification);
  };
  const auto before = observers();
  auto panel = showPanel();
  EXPECT_EQ(observers(), before + 1);
  panel->removeFromSuperview();
  panel.reset();
  EXPECT_EQ(observers(), before);

  Player::rotate(platform::InterfaceOrientationLandscapeLeft);
  drain();
  EXPECT_EQ(*rebuilds_, 0);
}

}  // namespace
}  // namespace tolba
