// The keyboard drawn over the panels: it covers the bottom of the screen, and the
// real-name box it would cover has moved up above it.
#include <gtest/gtest.h>

#include "render/pixels.h"
#include "support/ui_fixture.h"
#include "tolba/TolbaHost.h"
#include "tolba/player/player.h"
#include "toolkit/keyboard.h"
#include "ui/TolbaRealView.h"

namespace tolba::testing {
namespace {

bool isWhite(const Rgba& p) { return p.r == 255 && p.g == 255 && p.b == 255 && p.a == 255; }
bool isKeyboardGrey(const Rgba& p) { return p.a == 255 && p.r > 190 && p.r < 230 && p.b > p.r; }

class KeyboardPixelsTest : public UiTest {};

TEST_F(KeyboardPixelsTest, KeyboardCoversTheBottomAndTheBoxSitsAboveIt) {
  TolbaHost::shared().setScreen({.width = 667, .height = 375, .orientation = TolbaOrientation::LandscapeRight});
  drain();
  auto panel = TolbaRealView::present([](const std::optional<nlohmann::json>&) {});
  ASSERT_TRUE(panel);
  ASSERT_TRUE(player::Player::tap(*panel->codeF()));
  advance(platform::Keyboard::kAnimationDuration);
  const Pixels pixels;

  // The keyboard: 162 points from the bottom, the whole width, in front of the panel.
  const double top = 375 - platform::Keyboard::kLandscapeHeight;
  for (auto [x, y] : {std::pair{1.0, 374.0}, {665.0, top + 1}, {1.0, top + 1}}) {
    EXPECT_TRUE(isKeyboardGrey(pixels.at(x, y))) << x << ", " << y;
  }
  EXPECT_LT(pixels.at(1, top - 2).a, 60);        // above it: the backdrop
  EXPECT_TRUE(isWhite(pixels.at(11, top + 9)));  // the cap of its first key
  // The box (300 x 300, centred at y 37.5 before) rose to y 13: white there now,
  // the card field above the keyboard, and the box's lower part under the keys.
  const double boxX = (667 - 300) / 2.0;
  EXPECT_TRUE(isWhite(pixels.at(boxX + 150, 14)));
  EXPECT_TRUE(isWhite(pixels.at(boxX + 150, 13 + 195)));
  EXPECT_TRUE(isWhite(pixels.at(boxX + 12, 13 + 170)));       // inside the card field
  EXPECT_TRUE(isKeyboardGrey(pixels.at(boxX + 1, top + 3)));  // the box's lower part, under the keyboard
}

}  // namespace
}  // namespace tolba::testing
