#pragma once
// Drawing the screen into a buffer and reading pixels back, for the renderer's tests.

#include <cstdint>
#include <functional>
#include <vector>

#include "tolba/TolbaLayer.h"
#include "toolkit/application.h"
#include "toolkit/display.h"
#include "toolkit/geometry.h"

namespace tolba::testing {

struct Rgba {
  int r = 0, g = 0, b = 0, a = 0;
};

// The whole screen drawn by TolbaLayer at the application's scale.
class Pixels {
 public:
  Pixels() {
    const auto& app = platform::Application::shared();
    scale_ = app.screenScale();
    width_ = static_cast<int>(app.mainScreenBounds().width() * scale_);
    height_ = static_cast<int>(app.mainScreenBounds().height() * scale_);
    bytes_.assign(static_cast<std::size_t>(width_) * height_ * 4, 0);
    platform::setNeedsDisplay();  // a new buffer, perhaps where the last one was
    ok_ = TolbaLayer::drawInto({bytes_.data(), width_, height_, width_ * 4});
  }
  bool ok() const { return ok_; }
  // The pixel under a point of the screen.
  Rgba at(double x, double y) const { return pixel(static_cast<int>(x * scale_), static_cast<int>(y * scale_)); }
  Rgba pixel(int x, int y) const {
    const std::uint8_t* p = &bytes_[(static_cast<std::size_t>(y) * width_ + x) * 4];
    return {p[0], p[1], p[2], p[3]};
  }
  // Pixels of a screen rectangle that pass `test`.
  int count(platform::Rect r, const std::function<bool(const Rgba&)>& test) const {
    int n = 0;
    for (int y = static_cast<int>(r.y() * scale_); y < static_cast<int>(r.maxY() * scale_); ++y) {
      for (int x = static_cast<int>(r.x() * scale_); x < static_cast<int>(r.maxX() * scale_); ++x) {
        if (test(pixel(x, y))) ++n;
      }
    }
    return n;
  }
  // Which pixels of a rectangle pass `test`, row by row.
  std::vector<bool> mask(platform::Rect r, const std::function<bool(const Rgba&)>& test) const {
    std::vector<bool> out;
    for (int y = static_cast<int>(r.y() * scale_); y < static_cast<int>(r.maxY() * scale_); ++y) {
      for (int x = static_cast<int>(r.x() * scale_); x < static_cast<int>(r.maxX() * scale_); ++x) {
        out.push_back(test(pixel(x, y)));
      }
    }
    return out;
  }

 private:
  double scale_ = 2;
  int width_ = 0, height_ = 0;
  bool ok_ = false;
  std::vector<std::uint8_t> bytes_;
};

// A premultiplied layer pixel over an opaque game colour (0..255 per channel).
inline Rgba over(const Rgba& layer, int r, int g, int b) {
  auto mix = [&](int top, int bottom) { return top + bottom * (255 - layer.a) / 255; };
  return {mix(layer.r, r), mix(layer.g, g), mix(layer.b, b), 255};
}

}  // namespace tolba::testing
