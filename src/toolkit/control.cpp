#include "toolkit/control.h"

#include <algorithm>

#include "toolkit/display.h"

namespace tolba::platform {

void Control::addTarget(ControlEvent event, Action action) {
  if (action) targets_.emplace_back(event, std::move(action));
}

void Control::sendActions(ControlEvent event) {
  auto self = shared_from_this();  // an action may remove this control (or its panel)
  const auto targets = targets_;
  for (const auto& [e, action] : targets) {
    if (e == event) action(*this);
  }
}

void Control::setEnabled(bool enabled) {
  enabled_ = enabled;
  noteStateChange();
}

void Control::setSelected(bool selected) {
  selected_ = selected;
  noteStateChange();
}

bool Control::hasTargets(ControlEvent event) const {
  return std::any_of(targets_.begin(), targets_.end(), [&](const auto& t) { return t.first == event; });
}

void Control::noteStateChange() {
  setNeedsDisplay();
  stateChanged();
}

std::uint32_t Control::state() const {
  std::uint32_t s = ControlStateNormal;
  if (highlighted_) s |= ControlStateHighlighted;
  if (!enabled_) s |= ControlStateDisabled;
  if (selected_) s |= ControlStateSelected;
  return s;
}

View* Control::hitTest(Point p) {
  // A disabled control still swallows the touch, as on the platform, but does
  // not pass it to its subviews (its title label).
  View* hit = View::hitTest(p);
  return hit ? this : nullptr;
}

void Control::touchesBegan(const Touch&) {
  if (!enabled_) return;
  tracking_ = true;
  highlighted_ = true;
  noteStateChange();
}

void Control::touchesMoved(const Touch& touch) {
  if (!tracking_) return;
  const bool inside = pointInside(touch.locationInView(this));
  if (inside != highlighted_) {
    highlighted_ = inside;
    noteStateChange();
  }
}

void Control::touchesEnded(const Touch& touch) {
  if (!tracking_) return;
  tracking_ = false;
  highlighted_ = false;
  noteStateChange();
  if (pointInside(touch.locationInView(this))) touchUpInside();
}

void Control::touchesCancelled(const Touch&) {
  tracking_ = false;
  highlighted_ = false;
  noteStateChange();
}

void Control::touchUpInside() { sendActions(ControlEvent::TouchUpInside); }

}  // namespace tolba::platform
