#pragma once
// The animation block being run on this thread, if any (animation.cpp sets it,
// view setters read it).

#include <cstdint>

#include "tolba/platform/clock.h"

namespace tolba::platform::detail {

struct AnimationContext {
  TimePoint start;
  double duration;
  bool blocksInteraction;
  std::uint32_t curve;  // the AnimationOptionCurve... bits
};

const AnimationContext* currentAnimation();
void setCurrentAnimation(const AnimationContext* context);

}  // namespace tolba::platform::detail
