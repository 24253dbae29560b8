#include "toolkit/screen_damage.h"

#include <optional>

#include "toolkit/application.h"
#include "toolkit/display.h"
#include "toolkit/view.h"
#include "toolkit/window.h"

namespace tolba::platform {
namespace {

constexpr double kInvisible = 0.001;  // the renderer skips views this transparent

bool shownWindow(const View* root) {
  const auto* window = dynamic_cast<const Window*>(root);
  if (!window) return false;
  for (const auto& w : Application::shared().windows()) {
    if (w.get() == window) return true;
  }
  return false;
}

bool visible(const View& v, TimePoint at) { return !v.isHidden() && v.presentationAlphaAt(at) > kInvisible; }

Point originAt(const View& v, TimePoint at) {
  const Point c = v.presentationCenterAt(at);
  return {c.x - v.frame().width() * 0.5, c.y - v.frame().height() * 0.5};
}

void grow(std::optional<Rect>& acc, const Rect& r) { acc = acc ? boundingRect(*acc, r) : r; }

// `origin`: the view's frame origin on screen.
void addSubtree(const View& v, Point origin, TimePoint at, std::optional<Rect>& acc) {
  const Size size = v.frame().size;
  const auto& bg = v.backgroundColor();
  if (v.drawsContent() || (bg && bg->alpha > 0)) {
    grow(acc,
         {origin.x - kDrawBleed, origin.y - kDrawBleed, size.width + 2 * kDrawBleed, size.height + 2 * kDrawBleed});
  }
  if (v.clipsToBounds()) return;
  for (const auto& sub : v.subviews()) {
    if (!sub || !visible(*sub, at)) continue;
    const Point o = originAt(*sub, at);
    addSubtree(*sub, {origin.x + o.x, origin.y + o.y}, at, acc);
  }
}

std::optional<Rect> drawnExtent(const View& view, TimePoint at) {
  Point origin;
  const View* root = &view;
  for (const View* v = &view; v; v = v->superview()) {
    if (!visible(*v, at)) return std::nullopt;
    const Point o = originAt(*v, at);
    origin.x += o.x;
    origin.y += o.y;
    root = v;
  }
  if (!shownWindow(root)) return std::nullopt;
  std::optional<Rect> acc;
  addSubtree(view, origin, at, acc);
  return acc;
}

// Where the view was drawn at the last display: nowhere if it, or a view it is
// in, came into the tree since.
std::optional<Rect> lastDrawnExtent(const View& view) {
  for (const View* v = &view; v; v = v->superview()) {
    if (v->addedSinceLastDisplay()) return std::nullopt;
  }
  return drawnExtent(view, lastDisplayTime());
}

// Views changed since the last display, to measure where they are at the draw.
struct Changed {
  std::weak_ptr<const View> view;
  std::uint64_t display;
};
std::vector<Changed>& changedViews() {
  static auto* list = new std::vector<Changed>();
  return *list;
}

void sweep(const View& v, TimePoint since, TimePoint now, DamageRegion& region) {
  if (v.isAnimatingSince(since)) {
    if (auto r = lastDrawnExtent(v)) region.add(*r);
    if (auto r = drawnExtent(v, now)) region.add(*r);
  }
  for (const auto& sub : v.subviews()) {
    if (sub) sweep(*sub, since, now, region);
  }
}

}  // namespace

bool damageView(const View& view) {
  if (auto r = lastDrawnExtent(view)) setNeedsDisplayIn(*r);
  auto weak = view.weak_from_this();
  if (weak.expired()) {  // not owned yet (being built): where it is now is all there is
    if (auto r = drawnExtent(view, RunLoop::main().now())) setNeedsDisplayIn(*r);
    return false;
  }
  auto& list = changedViews();
  if (!list.empty() && list.front().display != displayCount()) list.clear();
  list.push_back({std::move(weak), displayCount()});
  return true;
}

DamageRegion screenDamage(TimePoint now) {
  DamageRegion region = pendingDamage();
  if (region.full()) return region;
  for (const auto& c : changedViews()) {
    if (c.display != displayCount()) break;
    if (auto v = c.view.lock()) {
      if (auto r = drawnExtent(*v, now)) region.add(*r);
    }
  }
  if (!animationNeedsDisplay()) return region;
  const TimePoint since = lastDisplayTime();
  for (const auto& w : Application::shared().windows()) {
    if (w && !w->isHidden()) sweep(*w, since, now, region);
  }
  return region;
}

}  // namespace tolba::platform
