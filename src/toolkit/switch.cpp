#include "toolkit/switch.h"

namespace tolba::platform {

Switch::Switch(Rect frame) : Control({frame.origin, kStandardSize}) {}

void Switch::setFrame(Rect frame) { Control::setFrame({frame.origin, kStandardSize}); }

void Switch::touchUpInside() {
  setOn(!on_);
  sendActions(ControlEvent::ValueChanged);
  Control::touchUpInside();
}

}  // namespace tolba::platform
