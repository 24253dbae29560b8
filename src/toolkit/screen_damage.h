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
// A change damages where the view was last drawn and where it is drawn when
// the screen is drawn next (after everything else that frame moved it);
// running animations damage the same for each view they move. Main thread.

#include "tolba/platform/clock.h"
#include "toolkit/damage_region.h"

namespace tolba::platform {

class View;

// Points around a view's frame that its drawing may touch.
inline constexpr double kDrawBleed = 1.0;

// Adds where the view was drawn at the last display to the pending damage, and
// keeps the view to add where it is drawn when the damage is asked for. False
// for a view not owned yet: then where it is now is added at once, and it
// must be damaged again at its next change.
bool damageView(const View& view);

// What a draw of the screen as it stands at `at` must redraw: the pending
// damage and the area of every animation that moved something since the last
// display. A renderer draws every view at that same time.
DamageRegion screenDamage(TimePoint at);

}  // namespace tolba::platform
