// The headless text measurer and label sizing built on it.
#include <gtest/gtest.h>

#include "support/ui_fixture.h"
#include "toolkit/label.h"
#include "toolkit/text_measurer.h"

namespace tolba::platform {
namespace {

class TextMeasurerTest : public testing::UiTest {};

TEST_F(TextMeasurerTest, WidthsFollowTheCharacterClasses) {
  const auto& m = TextMeasurer::current();
  const Font f16 = Font::systemFont(16);
  EXPECT_EQ(m.measure("", f16), (Size{0, 0}));
  EXPECT_EQ(m.measure("abc", f16), (Size{24, 19.2}));
  EXPECT_EQ(m.measure("接口异常", f16), (Size{64, 19.2}));
  EXPECT_EQ(m.measure("a，b", f16), (Size{32, 19.2}));  // full-width comma: one em
  EXPECT_EQ(m.measure("ab\n接口", f16), (Size{32, 16 * 1.2 * 2}));
  // Wrapping breaks before the character that would overflow.
  EXPECT_EQ(m.measure("接口异常接口", f16, 40), (Size{32, 19.2 * 3}));
  EXPECT_EQ(m.measure("接口异常接口", f16, 40, 2).height, 19.2 * 2);
  // A malformed byte is one character, not a crash.
  EXPECT_EQ(m.measure(std::string("\xff"), f16).width, 16);
}

TEST_F(TextMeasurerTest, LabelsSizeToTheirText) {
  Label one(Rect{10, 10, 100, 0});
  one.setFont(Font::boldSystemFont(16));
  one.setText("一二三四五六七八九十");  // 160 wide on one line
  one.sizeToFit();
  EXPECT_EQ(one.frame(), (Rect{10, 10, 160, 19.2}));

  // Several lines: wrapped within the current width, which then shrinks to the text.
  Label many(Rect{10, 10, 100, 0});
  many.setFont(Font::boldSystemFont(16));
  many.setNumberOfLines(0);
  many.setText("一二三四五六七八九十");
  many.sizeToFit();
  EXPECT_EQ(many.frame(), (Rect{10, 10, 96, 19.2 * 2}));
}

}  // namespace
}  // namespace tolba::platform
