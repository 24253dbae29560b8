#pragma once
// Property animations of the view tree. Inside the `animations` block, setAlpha,
// setCenter and setFrame change the model values at once (as the platform does)
// and record, for each changed view, a move of the presentation value from where
// it is on screen to the new value: linear, starting after `delay`, lasting
// `duration`, on the main run loop's clock. `completion` runs on the main run
// loop when the time is up (with true). Each call starts at once, so two calls
// made together run side by side; a later animation of the same property of the
// same view takes over from wherever the earlier one had got to.
//
// Unless `options` has AllowUserInteraction, the animated views take no touches
// until their animation ends.

#include <cstdint>
#include <functional>

namespace tolba::platform {

// Numbered as on the phone platform; the curve is the two bits at 16.
enum AnimationOptions : std::uint32_t {
  AnimationOptionNone = 0,
  AnimationOptionAllowUserInteraction = 2,
  AnimationOptionCurveEaseInOut = 0 << 16,
  AnimationOptionCurveEaseIn = 1 << 16,
  AnimationOptionCurveEaseOut = 2 << 16,
  AnimationOptionCurveLinear = 3 << 16,
};
inline constexpr std::uint32_t kAnimationCurveMask = 3 << 16;

// How far a move has got (0..1) when `fraction` (0..1) of its time has passed,
// for the curve in `options`: the platform's cubic Bezier timing curves
// (ease-in-out (0.42, 0) (0.58, 1), ease-in (0.42, 0) (1, 1), ease-out
// (0, 0) (0.58, 1)) or a straight line.
double animationProgress(std::uint32_t options, double fraction);

void animateWithDuration(double duration, double delay, std::uint32_t options, const std::function<void()>& animations,
                         std::function<void(bool finished)> completion = nullptr);
void animateWithDuration(double duration, const std::function<void()>& animations,
                         std::function<void(bool finished)> completion = nullptr);

}  // namespace tolba::platform
