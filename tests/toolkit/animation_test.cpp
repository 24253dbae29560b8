// Animations: model values at once, presentation values on the run loop's
// clock, completion at the end, overlapping animations and touches.
#include <gtest/gtest.h>

#include "support/ui_fixture.h"
#include "toolkit/animation.h"
#include "toolkit/view.h"

namespace tolba::platform {
namespace {

class AnimationTest : public testing::UiTest {};

TEST_F(AnimationTest, ModelChangesAtOncePresentationFollowsTheClock) {
  auto view = std::make_shared<View>(Rect{0, 0, 40, 40});
  int completions = 0;
  animateWithDuration(
      2.0, 0.3, AnimationOptionAllowUserInteraction, [&] { view->setAlpha(0.0); },
      [&](bool finished) {
        EXPECT_TRUE(finished);
        ++completions;
      });
  EXPECT_EQ(view->alpha(), 0.0);
  EXPECT_EQ(view->presentationAlpha(), 1.0);
  advance(0.3);
  EXPECT_EQ(view->presentationAlpha(), 1.0);  // still within the delay
  advance(1.0);
  EXPECT_NEAR(view->presentationAlpha(), 0.5, 1e-9);
  EXPECT_TRUE(view->isAnimating());
  advance(0.9);
  EXPECT_EQ(completions, 0);
  advance(0.1);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(view->presentationAlpha(), 0.0);
  EXPECT_FALSE(view->isAnimating());
}

TEST_F(AnimationTest, ALaterChangeTakesOverFromWhereTheViewIs) {
  auto view = std::make_shared<View>(Rect{0, 0, 40, 40});
  animateWithDuration(1.0, [&] { view->setCenter({120, 20}); });
  advance(0.5);
  EXPECT_EQ(view->presentationCenter(), (Point{70, 20}));
  animateWithDuration(1.0, [&] { view->setCenter({70, 120}); });
  EXPECT_EQ(view->presentationCenter(), (Point{70, 20}));
  advance(0.5);
  EXPECT_EQ(view->presentationCenter(), (Point{70, 70}));
  // A change outside an animation block shows at once.
  view->setCenter({0, 0});
  EXPECT_EQ(view->presentationCenter(), (Point{0, 0}));
  EXPECT_FALSE(view->isAnimating());
}

TEST_F(AnimationTest, MovesFollowTheEaseInOutCurveUnlessAskedOtherwise) {
  struct Case {
    std::uint32_t options;
    double atQuarter;  // progress a quarter of the way through the time
    double atHalf;
  };
  const Case cases[] = {{AnimationOptionNone, 0.1291, 0.5},
                        {AnimationOptionAllowUserInteraction, 0.1291, 0.5},
                        {AnimationOptionCurveLinear, 0.25, 0.5},
                        {AnimationOptionCurveEaseIn, 0.0935, 0.3154},
                        {AnimationOptionCurveEaseOut, 0.3781, 0.6846}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    auto view = std::make_shared<View>(Rect{0, 0, 40, 40});
    animateWithDuration(1.0, 0, c.options, [&] { view->setAlpha(0.0); });
    advance(0.25);
    EXPECT_NEAR(1 - view->presentationAlpha(), c.atQuarter, 1e-3);
    advance(0.25);
    EXPECT_NEAR(1 - view->presentationAlpha(), c.atHalf, 1e-3);
    advance(0.5);
    EXPECT_EQ(view->presentationAlpha(), 0.0);
  }
}

TEST_F(AnimationTest, AnimatedViewsTakeNoTouchesUnlessAllowed) {
  auto window = showKeyWindow({375, 667});
  auto view = std::make_shared<View>(Rect{0, 0, 100, 100});
  window->rootView()->addSubview(view);
  animateWithDuration(0.5, [&] { view->setAlpha(0.5); });
  EXPECT_EQ(window->hitTest({50, 50}), window->rootView().get());
  advance(0.5);
  EXPECT_EQ(window->hitTest({50, 50}), view.get());
  animateWithDuration(0.5, 0, AnimationOptionAllowUserInteraction, [&] { view->setAlpha(0.9); });
  EXPECT_EQ(window->hitTest({50, 50}), view.get());
}

}  // namespace
}  // namespace tolba::platform
