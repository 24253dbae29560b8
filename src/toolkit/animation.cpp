#include "toolkit/animation.h"

#include <algorithm>

#include "animation_context.h"
#include "tolba/platform/run_loop.h"

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
                                         (options & AnimationOptionAllowUserInteraction) == 0};
  const auto* outer = detail::currentAnimation();
  detail::setCurrentAnimation(&context);
  if (animations) animations();
  detail::setCurrentAnimation(outer);
  if (completion) {
    loop.scheduleTimer(Duration(delay + duration), false,
                       [done = std::move(completion)](Timer&) { done(true); });
  }
}

void animateWithDuration(double duration, const std::function<void()>& animations,
                         std::function<void(bool)> completion) {
  animateWithDuration(duration, 0, AnimationOptionNone, animations, std::move(completion));
}

}  // namespace tolba::platform
