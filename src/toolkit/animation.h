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

enum AnimationOptions : std::uint32_t {
  AnimationOptionNone = 0,
  AnimationOptionAllowUserInteraction = 2,
};

void animateWithDuration(double duration, double delay, std::uint32_t options, const std::function<void()>& animations,
                         std::function<void(bool finished)> completion = nullptr);
void animateWithDuration(double duration, const std::function<void()>& animations,
                         std::function<void(bool finished)> completion = nullptr);

}  // namespace tolba::platform
