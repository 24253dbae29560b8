#pragma once
// Whether what is on screen changed since it was last drawn, and where. Every
// change that a renderer would draw differently (a frame, a colour, a text, the
// tree itself) marks the screen: views mark the area they are drawn in
// (View::setNeedsDisplay, screen_damage.h), anything else the whole screen;
// running animations keep the screen changing until they end. A renderer calls
// didDisplay() after drawing. Main thread only.
//
// Both questions are a couple of loads and compares: an idle screen costs
// nothing to ask about once per frame.

#include <cstdint>

#include "tolba/platform/clock.h"
#include "toolkit/damage_region.h"

namespace tolba::platform {

// Counts changes; never goes back.
std::uint64_t displayGeneration();
// The whole screen changed.
void setNeedsDisplay();
// Part of it changed (points on screen); an empty rectangle still counts as a
// change, one that shows nowhere.
void setNeedsDisplayIn(Rect screenRect);
// What changed since the last didDisplay() (animations aside: screen_damage.h).
const DamageRegion& pendingDamage();
// The generation that was last drawn.
std::uint64_t displayedGeneration();
// Marks everything drawn, as it stands at `at` on the main run loop's clock (the
// time a renderer drew the presentation values of), or now.
void didDisplay(TimePoint at);
void didDisplay();
// When that was (minus infinity before the first time), and how many times it
// happened.
TimePoint lastDisplayTime();
std::uint64_t displayCount();
// True when a change was made since the last didDisplay().
inline bool needsDisplay() { return displayGeneration() != displayedGeneration(); }

// An animation moves presentation values until `end`: the screen keeps changing
// until it has been drawn at or after that time.
void noteAnimationUntil(TimePoint end);
// True while an animation has moved the picture since it was last drawn
// (including the last step, to its final values).
bool animationNeedsDisplay();
// True while any noted animation has not reached its end by `now`.
bool animationRunning(TimePoint now);

// Back to "never drawn, nothing animating, all of it to draw" (a fresh
// application, tests).
void resetDisplay();

}  // namespace tolba::platform
