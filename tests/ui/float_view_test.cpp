// The floating switch-account button: where it is created, how it snaps after a
// drag, when and where it half-hides, and what taps do in each state.
#include <gtest/gtest.h>

#include "support/ui_fixture.h"
#include "tolba/platform/device.h"
#include "tolba/player/player.h"
#include "ui/TolbaFloatView.h"

namespace tolba {
namespace {

using platform::EdgeInsets;
using platform::Point;
using platform::Rect;
using platform::Size;
using player::Player;

constexpr EdgeInsets kHomeIndicator{0, 0, 34, 0};

class FloatViewTest : public testing::UiTest {
 protected:
  // A key window over the screen, then the button, with a counting click block.
  std::shared_ptr<TolbaFloatView> create(Size screen, std::int64_t orientation = platform::InterfaceOrientationPortrait,
                                         EdgeInsets insets = {}) {
    window_ = showKeyWindow(screen, orientation, insets);
    auto view = TolbaFloatView::shareInstance();
    view->setClickBlock([this] { ++clicks_; });
    return view;
  }
  // Drags the button from its centre to `to`, then lets the snap finish.
  void dragTo(TolbaFloatView& view, Point to) {
    ASSERT_TRUE(Player::drag(view, to));
    advance(0.1);
  }
  std::shared_ptr<platform::Window> window_;
  int clicks_ = 0;
};

TEST_F(FloatViewTest, CreatedBesideTheObstructedEdge) {
  struct Case {
    const char* name;
    platform::UserInterfaceIdiom idiom;
    Size screen;
    std::int64_t orientation;
    EdgeInsets insets;
    Rect frame;
    bool isLeft, isRight;
  };
  const auto phone = platform::UserInterfaceIdiom::Phone;
  const Case cases[] = {
      {"InsetPortrait", phone, {375, 812}, 1, kHomeIndicator, {335, 406, 40, 40}, false, false},
      {"InsetLandscapeRight", phone, {812, 375}, 3, kHomeIndicator, {772, 20, 40, 40}, true, false},
      {"InsetLandscapeLeft", phone, {812, 375}, 4, kHomeIndicator, {772, 20, 40, 40}, false, true},
      {"NoInsetLandscape", phone, {667, 375}, 3, {}, {627, 187.5, 40, 40}, false, false},
      // A tablet has no sensor housing to avoid, inset or not.
      {"PadLandscape",
       platform::UserInterfaceIdiom::Pad,
       {1024, 768},
       3,
       {0, 0, 20, 0},
       {984, 384, 40, 40},
       false,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TolbaFloatView::resetForTesting();
    app().reset();
    platform::Device::current().setIdiom(c.idiom);
    auto view = create(c.screen, c.orientation, c.insets);
    EXPECT_EQ(view->frame(), c.frame);
    EXPECT_EQ(view->isLeft(), c.isLeft);
    EXPECT_EQ(view->isRight(), c.isRight);
    EXPECT_FALSE(view->isShowAll());
  }
}

TEST_F(FloatViewTest, HalfHidesOneSecondAfterCreation) {
  auto view = create({375, 667});
  advance(0.99);
  EXPECT_EQ(view->center(), (Point{355, 353.5}));
  advance(0.01);
  // Model value at once, the picture over 0.5 s.
  EXPECT_EQ(view->center(), (Point{375, 353.5}));
  EXPECT_EQ(view->presentationCenter(), (Point{355, 353.5}));
  advance(0.25);
  EXPECT_EQ(view->presentationCenter(), (Point{365, 353.5}));
  advance(0.25);
  EXPECT_EQ(view->presentationCenter(), (Point{375, 353.5}));
  EXPECT_EQ(view->mainBtn()->alpha(), 0.8);
  EXPECT_FALSE(view->isShowAll());
}

TEST_F(FloatViewTest, SnapsThenParks) {
  struct Case {
    const char* name;
    Point release, snapped, parked;
  };
  const Case cases[] = {
      {"LeftSide", {100, 300}, {20, 300}, {0, 300}},
      {"TopLeftCorner", {100, 50}, {20, 20}, {0, 20}},
      // 30 < 20 + 20: too near the edge for a corner.
      {"NearTheEdgeNoCorner", {30, 50}, {20, 50}, {0, 50}},
      // 350 >= 375 - 20 - 20: near the right edge; y kept within 647.
      {"RightNearTheEdge", {350, 640}, {355, 640}, {375, 640}},
      {"MiddleIsLeft", {187.5, 300}, {20, 300}, {0, 300}},
      {"BelowTheScreenIsClamped", {370, 700}, {355, 647}, {375, 647}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TolbaFloatView::resetForTesting();
    app().reset();
    auto view = create({375, 667});
    ASSERT_TRUE(Player::drag(*view, c.release));
    EXPECT_EQ(view->mainBtn()->alpha(), 1.0);
    EXPECT_EQ(view->center(), c.snapped);
    // The snap is shown over 0.1 s from where the finger let go.
    EXPECT_EQ(view->presentationCenter(), c.release);
    advance(0.1);
    EXPECT_EQ(view->presentationCenter(), c.snapped);
    advance(0.899);
    EXPECT_EQ(view->center(), c.snapped);
    advance(0.001);
    EXPECT_EQ(view->center(), c.parked);
    advance(0.5);
    EXPECT_EQ(view->presentationCenter(), c.parked);
    // The alpha falls to 0.8 over a whole second.
    EXPECT_NEAR(view->mainBtn()->presentationAlpha(), 0.9, 1e-9);
    advance(0.5);
    EXPECT_EQ(view->mainBtn()->presentationAlpha(), 0.8);
  }
}

TEST_F(FloatViewTest, TapRevealsAParkedButtonThenFiresAndHides) {
  auto view = create({375, 667});
  // A tap while resting only brightens it; the half-hide still comes.
  Player::tap(*view->mainBtn());
  EXPECT_EQ(view->mainBtn()->alpha(), 1.0);
  EXPECT_FALSE(view->isShowAll());
  EXPECT_EQ(clicks_, 0);
  advance(1.0);
  EXPECT_EQ(view->center(), (Point{375, 353.5}));
  advance(1.0);  // the half-hide animation takes no touches

  dragTo(*view, {100, 300});
  advance(2.0);  // parked, and the fade (which takes no touches) is over
  ASSERT_EQ(view->center(), (Point{0, 300}));

  ASSERT_TRUE(Player::tap(*view->mainBtn()));
  EXPECT_EQ(view->center(), (Point{20, 300}));
  EXPECT_EQ(view->presentationCenter(), (Point{20, 300}));  // no animation
  EXPECT_EQ(view->mainBtn()->alpha(), 1.0);
  EXPECT_TRUE(view->isShowAll());
  EXPECT_EQ(clicks_, 0);

  // Revealed, it stays: nothing is scheduled.
  advance(5);
  EXPECT_EQ(view->center(), (Point{20, 300}));

  ASSERT_TRUE(Player::tap(*view->mainBtn()));
  EXPECT_EQ(clicks_, 1);
  EXPECT_TRUE(view->isHidden());
  // Hidden, it takes no taps.
  EXPECT_FALSE(Player::tap(*view->mainBtn()));
  EXPECT_EQ(clicks_, 1);
}

TEST_F(FloatViewTest, ADragFromRevealedKeepsItRevealedUntilTheNextHalfHide) {
  auto view = create({375, 667});
  advance(2.0);
  Player::tap(*view->mainBtn());
  ASSERT_TRUE(view->isShowAll());
  dragTo(*view, {100, 300});
  EXPECT_TRUE(view->isShowAll());
  // Within the second before the half-hide a tap fires; the half-hide ends the revealed state.
  Player::tap(*view->mainBtn());
  EXPECT_EQ(clicks_, 1);
  view->showFloat();
  advance(1.0);
  EXPECT_FALSE(view->isShowAll());
}

TEST_F(FloatViewTest, OnlyOneHalfHideAfterTheLastOfTwoDrags) {
  auto view = create({375, 667});
  dragTo(*view, {100, 300});  // t = 0.1: half-hide due at 1.0
  advance(0.4);               // t = 0.5
  dragTo(*view, {100, 400});  // ends at 0.5: half-hide due at 1.5
  EXPECT_EQ(view->center(), (Point{20, 400}));
  advance(0.85);  // t = 1.45
  EXPECT_EQ(view->center(), (Point{20, 400}));
  EXPECT_EQ(view->mainBtn()->alpha(), 1.0);
  advance(0.05);
  EXPECT_EQ(view->center(), (Point{0, 400}));
  EXPECT_EQ(view->mainBtn()->alpha(), 0.8);
}

TEST_F(FloatViewTest, ACancelledDragSchedulesNoHalfHide) {
  auto view = create({375, 667});
  ASSERT_TRUE(Player::drag(*view, {200, 200}, /*cancelled=*/true));
  // The centre followed the finger; no snap, and the creation half-hide was cancelled.
  EXPECT_EQ(view->center(), (Point{200, 200}));
  advance(5);
  EXPECT_EQ(view->center(), (Point{200, 200}));
  EXPECT_EQ(view->mainBtn()->alpha(), 1.0);
}

TEST_F(FloatViewTest, ParkingInTheCornerOfANotchedPhoneKeepsClearOfTheCorner) {
  auto view = create({812, 375}, platform::InterfaceOrientationLandscapeRight, kHomeIndicator);
  dragTo(*view, {100, 50});
  EXPECT_EQ(view->center(), (Point{20, 20}));
  advance(1.0);
  EXPECT_EQ(view->center(), (Point{0, 40}));
  advance(1.5);
  dragTo(*view, {700, 360});
  EXPECT_EQ(view->center(), (Point{792, 355}));
  advance(1.0);
  EXPECT_EQ(view->center(), (Point{812, 335}));
}

// The obstructed edge: a button parked at centre x 30 (left) or W - 37 (right)
// is parked all the same: one tap reveals it, the next fires clickBlock.
TEST_F(FloatViewTest, ParksClearOfTheSensorAndStillWorks) {
  struct Case {
    const char* name;
    std::int64_t orientation;
    Point release, parked, revealed;
  };
  const Case cases[] = {
      {"LeftInBand", 3, {100, 187.5}, {30, 187.5}, {20, 187.5}},
      // 287.5 is outside the open band: half off the screen as usual.
      {"LeftBelowBand", 3, {100, 287.5}, {0, 287.5}, {20, 287.5}},
      {"RightInBand", 4, {700, 187.5}, {775, 187.5}, {792, 187.5}},
      // The right edge is not obstructed in orientation 3.
      {"RightWhenLeftIsObstructed", 3, {700, 187.5}, {812, 187.5}, {792, 187.5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TolbaFloatView::resetForTesting();
    app().reset();
    clicks_ = 0;
    auto view = create({812, 375}, c.orientation, kHomeIndicator);
    dragTo(*view, c.release);
    advance(2.0);
    ASSERT_EQ(view->center(), c.parked);
    EXPECT_FALSE(view->isShowAll());

    ASSERT_TRUE(Player::tap(*view->mainBtn()));
    EXPECT_EQ(view->center(), c.revealed);
    EXPECT_TRUE(view->isShowAll());
    EXPECT_EQ(clicks_, 0);
    ASSERT_TRUE(Player::tap(*view->mainBtn()));
    EXPECT_EQ(clicks_, 1);
    EXPECT_TRUE(view->isHidden());
  }
}

}  // namespace
}  // namespace tolba
