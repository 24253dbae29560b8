#pragma once
// A simulated player: touches, typing and device events, delivered the way a
// finger and the system would (through hit testing of the view's window), so
// that a control covered by another view or hidden is not reached.
//
// Points are in the coordinates of the view's window. Device events (rotate,
// becomeActive) post their notifications to the main run loop, as the system
// does; they are heard at its next turn.

#include <cstdint>
#include <string>

#include "toolkit/geometry.h"

namespace tolba::platform {
class TextField;
class View;
}  // namespace tolba::platform

namespace tolba::player {

class Player {
 public:
  // A touch down and up at the centre of the part of the view that is inside
  // its window (the view's centre unless it hangs off the edge). Returns whether the finger landed
  // on the view (or one of its subviews); false when it is not in a window or
  // something else is on top of it.
  static bool tap(platform::View& view);
  // Whether a tap on the view would land on it now (it is in a window and
  // nothing, a toast for instance, covers the point the finger would touch).
  static bool canTap(platform::View& view);
  // Taps the field (focusing it), then types `text` one character at a time.
  // Returns whether the field took focus.
  static bool type(platform::TextField& field, const std::string& text);
  // Deletes `count` characters before the cursor of the focused field.
  static void backspace(platform::TextField& field, int count = 1);
  // Puts a finger down at `from`, moves it in steps to `to` and lifts it there
  // (or the system cancels the touch there when `cancelled`). Returns whether
  // the finger went down on the view.
  static bool drag(platform::View& view, platform::Point from, platform::Point to, bool cancelled = false);
  // Same, from where tap() would touch the view.
  static bool drag(platform::View& view, platform::Point to, bool cancelled = false);
  // Turns the device to an interface orientation (1 to 4).
  static void rotate(std::int64_t orientation);
  // Comes back to the application from elsewhere.
  static void becomeActive();
};

}  // namespace tolba::player
