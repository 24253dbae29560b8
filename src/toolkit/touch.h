#pragma once
// One finger on the screen. A window routes a touch to the view under it and to
// the gesture recognisers of that view and its ancestors (window.h).

#include "toolkit/geometry.h"

namespace tolba::platform {

class View;
class Window;

enum class TouchPhase { Began, Moved, Ended, Cancelled };

struct Touch {
  Point locationInWindow;
  Window* window = nullptr;
  // The touch's position in `view`'s coordinates (the window's when null).
  Point locationInView(const View* view) const;
};

}  // namespace tolba::platform
