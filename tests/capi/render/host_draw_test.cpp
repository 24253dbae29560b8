// The C interface's drawing with the renderer linked: the login panel lands in
// the caller's buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/ui_fixture.h"
#include "tolba/player/find_view.h"
#include "tolba/tolba.h"
#include "ui/TolbaLoginView.h"

namespace tolba::testing {
namespace {

class CHostDrawTest : public UiTest {};

TEST_F(CHostDrawTest, LoginPanelIsDrawnIntoTheCallersBuffer) {
  initialisedSdk("http://127.0.0.1:9");
  tolba_sdk* sdk = nullptr;
  ASSERT_EQ(tolba_sdk_create(&sdk), TOLBA_OK);
  const tolba_screen screen{375, 667, 2, 0, 0, 0, 0, TOLBA_ORIENTATION_PORTRAIT};
  ASSERT_EQ(tolba_host_set_screen(sdk, &screen), TOLBA_OK);
  ASSERT_EQ(tolba_sdk_login(sdk), TOLBA_OK);
  ASSERT_EQ(tolba_sdk_tick(sdk, nullptr), TOLBA_OK);
  auto panel = player::findView<TolbaLoginView>();
  ASSERT_TRUE(panel);

  std::int32_t width = 0, height = 0;
  ASSERT_EQ(tolba_host_pixel_size(sdk, &width, &height), TOLBA_OK);
  ASSERT_EQ(width, 750);
  ASSERT_EQ(height, 1334);
  // A padded row, as a game's texture may have.
  const std::int32_t stride = width * 4 + 16;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) * height, 0x7f);
  ASSERT_EQ(tolba_host_draw(sdk, pixels.data(), width, height, stride), TOLBA_OK);
  auto at = [&](double x, double y) {
    return &pixels[static_cast<std::size_t>(y * 2) * stride + static_cast<std::size_t>(x * 2) * 4];
  };

  // Inside the white box: opaque white.
  const auto box = panel->subContentView()->frame();
  const std::uint8_t* inside = at(box.x() + 4, box.y() + 120);
  EXPECT_EQ(inside[0], 255);
  EXPECT_EQ(inside[1], 255);
  EXPECT_EQ(inside[2], 255);
  EXPECT_EQ(inside[3], 255);
  // Outside it: only the translucent black backdrop.
  const std::uint8_t* outside = at(10, 10);
  EXPECT_EQ(outside[0], 0);
  EXPECT_GT(outside[3], 30);
  EXPECT_LT(outside[3], 80);
  tolba_sdk_destroy(sdk);
}

}  // namespace
}  // namespace tolba::testing
