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

  // Nothing changed since: nothing to upload. Typing changes only the field.
  std::int32_t x = -1, y = -1, w = -1, h = -1;
  ASSERT_EQ(tolba_host_dirty_rect(sdk, &x, &y, &w, &h), TOLBA_OK);
  EXPECT_EQ(w, 0);
  std::int32_t taken = 0;
  tolba_host_touch(sdk, 1, TOLBA_TOUCH_BEGAN, box.x() + 150, box.y() + 60, &taken);
  tolba_host_touch(sdk, 1, TOLBA_TOUCH_ENDED, box.x() + 150, box.y() + 60, &taken);
  advance(1);  // the keyboard is up
  ASSERT_EQ(tolba_host_draw(sdk, pixels.data(), width, height, stride), TOLBA_OK);
  ASSERT_EQ(tolba_host_text_input(sdk, "abc", &taken), TOLBA_OK);
  ASSERT_EQ(tolba_host_dirty_rect(sdk, &x, &y, &w, &h), TOLBA_OK);
  EXPECT_GT(w, 0);
  EXPECT_LT(w * h, width * height / 20);
  ASSERT_EQ(tolba_host_redraw_all(sdk), TOLBA_OK);
  ASSERT_EQ(tolba_host_dirty_rect(sdk, &x, &y, &w, &h), TOLBA_OK);
  EXPECT_EQ(w * h, width * height);
  tolba_sdk_destroy(sdk);
}

}  // namespace
}  // namespace tolba::testing
