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
}  // namespace

std::uint64_t displayGeneration() { return generation; }
void setNeedsDisplay() { ++generation; }
std::uint64_t displayedGeneration() { return displayed; }

void didDisplay() {
  displayed = generation;
  drawnAt = RunLoop::main().now().count();
}

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
}

}  // namespace tolba::platform
