#include "toolkit/animation.h"

#include <algorithm>
#include <cmath>

#include "animation_context.h"
#include "tolba/platform/run_loop.h"
#include "toolkit/display.h"

namespace tolba::platform {
namespace detail {
namespace {
thread_local const AnimationContext* current = nullptr;
}
const AnimationContext* currentAnimation() { return current; }
void setCurrentAnimation(const AnimationContext* context) { current = context; }
}  // namespace detail

void animateWithDuration(double duration, double delay, std::uint32_t options, const std::function<void()>& animations,
                         std::function<void(bool)> completion) {
  duration = std::max(duration, 0.0);
  delay = std::max(delay, 0.0);
  auto& loop = RunLoop::main();
  const detail::AnimationContext context{loop.now() + Duration(delay), duration,
                                         (options & AnimationOptionAllowUserInteraction) == 0,
                                         options & kAnimationCurveMask};
  // The picture changes from now until the moves end.
  noteAnimationUntil(context.start + Duration(duration));
  const auto* outer = detail::currentAnimation();
  detail::setCurrentAnimation(&context);
  if (animations) animations();
  detail::setCurrentAnimation(outer);
  if (completion) {
    loop.scheduleTimer(Duration(delay + duration), false, [done = std::move(completion)](Timer&) { done(true); });
  }
}

namespace {

// A cubic Bezier from (0, 0) to (1, 1) with control points (x1, y1), (x2, y2):
// find the parameter whose x is `x`, answer its y.
double cubicBezier(double x1, double y1, double x2, double y2, double x) {
  auto coord = [](double a, double b, double t) {
    const double u = 1 - t;
    return 3 * u * u * t * a + 3 * u * t * t * b + t * t * t;
  };
  auto slope = [](double a, double b, double t) {
    const double u = 1 - t;
    return 3 * u * u * a + 6 * u * t * (b - a) + 3 * t * t * (1 - b);
  };
  double t = x;
  for (int i = 0; i < 8; ++i) {  // Newton's method; the curves here are gentle
    const double error = coord(x1, x2, t) - x;
    if (std::fabs(error) < 1e-12) return coord(y1, y2, t);
    const double d = slope(x1, x2, t);
    if (std::fabs(d) < 1e-9) break;
    t -= error / d;
  }
  // Bisection where Newton's method stalls (flat ends).
  double lo = 0, hi = 1;
  t = x;
  for (int i = 0; i < 60; ++i) {
    const double v = coord(x1, x2, t);
    if (std::fabs(v - x) < 1e-12) break;
    (v < x ? lo : hi) = t;
    t = (lo + hi) * 0.5;
  }
  return coord(y1, y2, t);
}

}  // namespace

double animationProgress(std::uint32_t options, double fraction) {
  if (fraction <= 0) return 0;
  if (fraction >= 1) return 1;
  switch (options & kAnimationCurveMask) {
    case AnimationOptionCurveLinear: return fraction;
    case AnimationOptionCurveEaseIn: return cubicBezier(0.42, 0, 1, 1, fraction);
    case AnimationOptionCurveEaseOut: return cubicBezier(0, 0, 0.58, 1, fraction);
    default: return cubicBezier(0.42, 0, 0.58, 1, fraction);
  }
}

void animateWithDuration(double duration, const std::function<void()>& animations,
                         std::function<void(bool)> completion) {
  animateWithDuration(duration, 0, AnimationOptionNone, animations, std::move(completion));
}

}  // namespace tolba::platform
