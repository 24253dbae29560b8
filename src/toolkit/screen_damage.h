#pragma once
// Where on the screen views are drawn, and the damage their changes make.
//
// A view's drawn extent is the frames of the visible views that draw something
// (a background, text, a control) in its subtree, not past a view that clips,
// on screen at a given time: the presentation
// positions of the view and its ancestors then, grown by a point for
// antialiased edges and hairlines. A view that is hidden, fully transparent or
// not in a window on screen has none.
//
// A change damages where the view was last drawn and where it will be drawn
// now; running animations damage the same for each view they move. Main thread.

#include <optional>

#include "toolkit/damage_region.h"
#include "tolba/platform/clock.h"

namespace tolba::platform {

class View;

std::optional<Rect> drawnExtent(const View& view, TimePoint at);

// Adds the view's extent at the last display and now to the pending damage.
void damageView(const View& view);

// What the next draw must redraw: the pending damage and the area of every
// animation that moved something since the last display.
DamageRegion screenDamage();

}  // namespace tolba::platform
