#pragma once
// The part of the screen that changed since it was last drawn: a few rectangles
// in points, or the whole screen. Changes add the area they touch; a renderer
// asks for the pixels to redraw and clears the region once it has drawn.
//
// Few rectangles on purpose: each one costs a clip and an upload, so touching
// or overlapping rectangles are joined, and past kMaxRects the region becomes
// the box around all of them.

#include <cstdint>
#include <vector>

#include "toolkit/geometry.h"

namespace tolba::platform {

// Whole pixels: x, y from the top left, width and height >= 0.
struct PixelRect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool empty() const { return width <= 0 || height <= 0; }
};

// The smallest rectangle holding all of `rects` (empty for none).
PixelRect boundingRect(const std::vector<PixelRect>& rects);
// The smallest rectangle holding both.
Rect boundingRect(const Rect& a, const Rect& b);

class DamageRegion {
 public:
  static constexpr std::size_t kMaxRects = 8;

  // Adds a rectangle in points; empty or non-finite rectangles add nothing.
  void add(Rect rect);
  // The whole screen.
  void addAll() {
    full_ = true;
    rects_.clear();
  }
  void clear() {
    full_ = false;
    rects_.clear();
  }

  bool full() const { return full_; }

  // The pixels to redraw on a `width` x `height` pixel screen at `scale`:
  // each rectangle grown out to whole pixels and one more (antialiased edges),
  // clipped to the screen; the result never overlaps, so every pixel is in at
  // most one rectangle. The whole screen when full().
  std::vector<PixelRect> pixels(double scale, std::int32_t width, std::int32_t height) const;

 private:
  bool full_ = false;
  std::vector<Rect> rects_;
};

}  // namespace tolba::platform
