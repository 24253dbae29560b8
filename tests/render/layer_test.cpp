// TolbaLayer's buffers (byte order, premultiplied alpha, any stride) and text:
// Chinese glyphs really drawn, bullets for secure entry, measured as drawn.
#include <gtest/gtest.h>

#include <cstring>

#include "render/pixels.h"
#include "render/text_engine.h"
#include "support/ui_fixture.h"
#include "toolkit/display.h"
#include "toolkit/label.h"
#include "toolkit/text_field.h"
#include "toolkit/text_measurer.h"

namespace tolba::testing {
namespace {

using platform::Color;
using platform::Rect;

class LayerTest : public UiTest {
 protected:
  // A 20 x 10 point screen: red, blue and half-transparent green squares.
  void SetUpSquares() {
    auto window = showKeyWindow({30, 10});
    for (auto [x, color] :
         {std::pair{0.0, Color::redColor()}, {10.0, Color::blueColor()}, {20.0, Color{0, 1, 0, 0.5}}}) {
      auto square = std::make_shared<platform::View>(Rect{x, 0, 10, 10});
      square->setBackgroundColor(color);
      window->addSubview(square);
    }
  }
};

TEST_F(LayerTest, WritesPremultipliedRgbaBytesWithAnyStride) {
  SetUpSquares();
  constexpr int kWidth = 60, kHeight = 20;
  struct Case {
    int stride;
    std::size_t offset;  // from an aligned address
  };
  for (const Case c : {Case{240, 0}, Case{252, 0}, Case{243, 0}, Case{240, 1}}) {
    std::vector<std::uint8_t> memory(static_cast<std::size_t>(c.stride) * kHeight + 8, 0xAB);
    std::uint8_t* pixels = memory.data() + c.offset;
    ASSERT_TRUE(TolbaLayer::drawInto({pixels, kWidth, kHeight, c.stride})) << c.stride;
    auto at = [&](int x, int y) { return pixels + static_cast<std::ptrdiff_t>(y) * c.stride + 4 * x; };
    const std::uint8_t red[] = {255, 0, 0, 255}, blue[] = {0, 0, 255, 255}, green[] = {0, 128, 0, 128};
    for (int y : {0, 9, 19}) {
      EXPECT_EQ(std::memcmp(at(5, y), red, 4), 0) << c.stride << " row " << y;
      EXPECT_EQ(std::memcmp(at(30, y), blue, 4), 0) << c.stride << " row " << y;
      EXPECT_TRUE(std::abs(at(50, y)[1] - green[1]) <= 1 && std::abs(at(50, y)[3] - green[3]) <= 1 && at(50, y)[0] == 0)
          << c.stride << " row " << y;
      // Bytes between rows are the caller's.
      for (int b = kWidth * 4; b < c.stride; ++b) EXPECT_EQ(at(0, y)[b], 0xAB) << c.stride;
    }
  }
}

TEST_F(LayerTest, RefusesBuffersItCannotDrawInto) {
  SetUpSquares();
  std::vector<std::uint8_t> memory(4096);
  for (const TolbaPixelBuffer b : {TolbaPixelBuffer{nullptr, 10, 10, 40}, TolbaPixelBuffer{memory.data(), 10, 10, 39},
                                   TolbaPixelBuffer{memory.data(), 0, 10, 40}}) {
    EXPECT_FALSE(TolbaLayer::drawInto(b));
  }
  EXPECT_TRUE(log_->contains("TolbaLayer: cannot draw into a buffer"));
}

TEST_F(LayerTest, KeptBufferIsRedrawnOnlyAfterAChange) {
  SetUpSquares();
  const TolbaPixelBuffer& first = TolbaLayer::draw();
  ASSERT_EQ(first.width, 60);
  ASSERT_EQ(first.height, 20);
  EXPECT_EQ(first.pixels[5 * 4], 255);  // red
  // A mark in the kept pixels stays while nothing changes...
  first.pixels[5 * 4] = 7;
  EXPECT_EQ(TolbaLayer::draw().pixels[5 * 4], 7);
  // ...and is drawn over once something did.
  app().keyWindow()->subviews()[1]->setBackgroundColor(Color::whiteColor());
  EXPECT_EQ(TolbaLayer::draw().pixels[5 * 4 + 1], 255);
  EXPECT_EQ(TolbaLayer::draw().pixels[5 * 4], 255);
}

class TextPixelsTest : public UiTest {
 protected:
  std::shared_ptr<platform::Window> whiteScreen() {
    auto window = showKeyWindow({375, 667});
    window->setBackgroundColor(Color::whiteColor());
    return window;
  }
  static bool ink(const Rgba& p) { return p.r < 128 && p.g < 128 && p.b < 128; }
};

TEST_F(TextPixelsTest, ChineseCharactersAreDrawnWithTheirOwnGlyphs) {
  auto window = whiteScreen();
  const Rect frames[] = {{20, 20, 60, 60}, {100, 20, 60, 60}};
  const char* texts[] = {"用", "协"};
  for (int i = 0; i < 2; ++i) {
    auto label = std::make_shared<platform::Label>(frames[i]);
    label->setText(texts[i]);
    label->setFont(platform::Font::systemFont(40));
    window->addSubview(label);
  }
  const Pixels pixels;
  const auto first = pixels.mask(frames[0], ink);
  const auto second = pixels.mask(frames[1], ink);
  const int inkFirst = pixels.count(frames[0], ink);
  EXPECT_GT(inkFirst, 300);
  EXPECT_GT(pixels.count(frames[1], ink), 300);
  int differing = 0;
  for (std::size_t i = 0; i < first.size(); ++i) differing += first[i] != second[i];
  EXPECT_GT(differing, inkFirst / 4);  // two shapes, not one box twice
  // The font has them: pango found no character it had to draw as a box.
  render::TextStyle style;
  EXPECT_EQ(render::TextEngine::shared().missingGlyphs("用户协议登录支付中...切转账号", style), 0);
  EXPECT_TRUE(render::TextEngine::shared().hasFamily());
}

TEST_F(TextPixelsTest, SecureEntryDrawsBulletsAndCompositionFollowsTheText) {
  auto window = whiteScreen();
  auto field = [&](double y, const std::string& text, bool secure) {
    auto f = std::make_shared<platform::TextField>(Rect{20, y, 200, 40});
    f->setText(text);
    f->setSecureTextEntry(secure);
    f->setFont(platform::Font::systemFont(18));
    window->addSubview(f);
    return f;
  };
  field(20, "abc1", true);
  field(80, "\u2022\u2022\u2022\u2022", false);
  field(140, "abc1", false);
  auto composing = field(200, "ab", false);
  composing->setMarkedText("zhong", 5);
  const Pixels pixels;
  EXPECT_EQ(pixels.mask({20, 20, 200, 40}, ink), pixels.mask({20, 80, 200, 40}, ink));
  EXPECT_NE(pixels.mask({20, 20, 200, 40}, ink), pixels.mask({20, 140, 200, 40}, ink));
  // The composition is drawn after "ab", underlined: ink well right of the text.
  EXPECT_GT(pixels.count({60, 200, 100, 40}, ink), 50);
}

TEST_F(TextPixelsTest, LabelsSizedToTheirTextHoldWhatIsDrawn) {
  render::installTextMeasurer();
  auto window = whiteScreen();
  auto label = std::make_shared<platform::Label>(Rect{20, 20, 0, 0});
  label->setText("需要确认用户隐私协议 OK");
  label->setFont(platform::Font::boldSystemFont(16));
  label->sizeToFit();
  window->addSubview(label);
  const Rect f = label->frame();
  EXPECT_GT(f.width(), 100);
  const Pixels pixels;
  // Ink reaches the label's last few points on the right, and none lies past it.
  EXPECT_GT(pixels.count({f.maxX() - 8, f.y(), 8, f.height()}, ink), 0);
  EXPECT_EQ(pixels.count({f.maxX(), f.y() - 5, 40, f.height() + 10}, ink), 0);
  EXPECT_EQ(pixels.count({f.x(), f.maxY(), f.width(), 10}, ink), 0);
  platform::TextMeasurer::setCurrent(nullptr);
}

}  // namespace
}  // namespace tolba::testing
