#include "toolkit/display.h"

#include <limits>

#include "tolba/platform/run_loop.h"

namespace tolba::platform {

namespace {
constexpr double kNever = -std::numeric_limits<double>::infinity();
std::uint64_t generation = 1;
std::uint64_t displayed = 0;
double animationsEnd = kNever;  // seconds on the main run loop's clock
double drawnAt = kNever;
std::uint64_t displays = 0;
DamageRegion& pending() {
  static auto* region = [] {
    auto* r = new DamageRegion();
    r->addAll();
    return r;
  }();
  return *region;
}
}  // namespace

std::uint64_t displayGeneration() { return generation; }
void setNeedsDisplay() {
  ++generation;
  pending().addAll();
}

void setNeedsDisplayIn(Rect screenRect) {
  ++generation;
  pending().add(screenRect);
}

const DamageRegion& pendingDamage() { return pending(); }
std::uint64_t displayedGeneration() { return displayed; }

void didDisplay() { didDisplay(RunLoop::main().now()); }

void didDisplay(TimePoint at) {
  displayed = generation;
  drawnAt = at.count();
  pending().clear();
  ++displays;
}

TimePoint lastDisplayTime() { return TimePoint{drawnAt}; }

std::uint64_t displayCount() { return displays; }

void noteAnimationUntil(TimePoint end) {
  if (end.count() > animationsEnd) animationsEnd = end.count();
  ++generation;
}

bool animationNeedsDisplay() { return drawnAt < animationsEnd; }

bool animationRunning(TimePoint now) { return now.count() < animationsEnd; }

void resetDisplay() {
  ++generation;
  displayed = 0;
  animationsEnd = kNever;
  drawnAt = kNever;
  pending().addAll();
}

}  // namespace tolba::platform
