#include "toolkit/damage_region.h"

#include <algorithm>
#include <cmath>

namespace tolba::platform {
namespace {

bool touches(const Rect& a, const Rect& b) {
  return a.x() <= b.maxX() && b.x() <= a.maxX() && a.y() <= b.maxY() && b.y() <= a.maxY();
}

Rect unite(const Rect& a, const Rect& b) { return boundingRect(a, b); }

bool overlaps(const PixelRect& a, const PixelRect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

PixelRect unite(const PixelRect& a, const PixelRect& b) { return boundingRect({a, b}); }

// Joins overlapping rectangles until none overlap (few rectangles: quadratic is fine).
template <class R, class Meets>
void join(std::vector<R>& rects, Meets meets) {
  for (bool joined = true; joined;) {
    joined = false;
    for (std::size_t i = 0; i < rects.size() && !joined; ++i) {
      for (std::size_t j = i + 1; j < rects.size(); ++j) {
        if (!meets(rects[i], rects[j])) continue;
        rects[i] = unite(rects[i], rects[j]);
        rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(j));
        joined = true;
        break;
      }
    }
  }
}

}  // namespace

Rect boundingRect(const Rect& a, const Rect& b) {
  const double x = std::min(a.x(), b.x());
  const double y = std::min(a.y(), b.y());
  return {x, y, std::max(a.maxX(), b.maxX()) - x, std::max(a.maxY(), b.maxY()) - y};
}

PixelRect boundingRect(const std::vector<PixelRect>& rects) {
  PixelRect box;
  bool any = false;
  for (const auto& r : rects) {
    if (r.empty()) continue;
    if (!any) {
      box = r;
      any = true;
      continue;
    }
    const std::int32_t x = std::min(box.x, r.x);
    const std::int32_t y = std::min(box.y, r.y);
    box = {x, y, std::max(box.x + box.width, r.x + r.width) - x, std::max(box.y + box.height, r.y + r.height) - y};
  }
  return box;
}

void DamageRegion::add(Rect r) {
  if (full_ || !(r.width() > 0 && r.height() > 0) || !std::isfinite(r.x()) || !std::isfinite(r.y()) ||
      !std::isfinite(r.maxX()) || !std::isfinite(r.maxY())) {
    return;
  }
  for (auto& existing : rects_) {
    if (touches(existing, r)) {
      existing = unite(existing, r);
      join(rects_, touches);
      return;
    }
  }
  rects_.push_back(r);
  if (rects_.size() > kMaxRects) {
    Rect box = rects_.front();
    for (const auto& e : rects_) box = unite(box, e);
    rects_.assign(1, box);
  }
}

std::vector<PixelRect> DamageRegion::pixels(double scale, std::int32_t width, std::int32_t height) const {
  if (width <= 0 || height <= 0) return {};
  if (full_) return {{0, 0, width, height}};
  std::vector<PixelRect> out;
  for (const auto& r : rects_) {
    const double x0 = std::floor(r.x() * scale) - 1;
    const double y0 = std::floor(r.y() * scale) - 1;
    const double x1 = std::ceil(r.maxX() * scale) + 1;
    const double y1 = std::ceil(r.maxY() * scale) + 1;
    const auto clampTo = [](double v, std::int32_t hi) {
      return static_cast<std::int32_t>(std::clamp(v, 0.0, static_cast<double>(hi)));
    };
    const PixelRect p{clampTo(x0, width), clampTo(y0, height), clampTo(x1, width) - clampTo(x0, width),
                      clampTo(y1, height) - clampTo(y0, height)};
    if (!p.empty()) out.push_back(p);
  }
  join(out, overlaps);
  return out;
}

}  // namespace tolba::platform
