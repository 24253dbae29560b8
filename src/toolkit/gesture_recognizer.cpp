#include "toolkit/gesture_recognizer.h"

#include <cmath>

namespace tolba::platform {

void GestureRecognizer::transition(GestureState state) {
  state_ = state;
  if (action_) {
    auto action = action_;  // the action may replace itself
    action(*this);
  }
}

void PanGestureRecognizer::touchBegan(const Touch& touch) {
  reset();
  setTouch(touch);
  start_ = touch.locationInWindow;
}

void PanGestureRecognizer::touchMoved(const Touch& touch) {
  setTouch(touch);
  if (isRecognizing()) {
    transition(GestureState::Changed);
  } else if (state() == GestureState::Possible &&
             std::hypot(touch.locationInWindow.x - start_.x, touch.locationInWindow.y - start_.y) >= kHysteresis) {
    transition(GestureState::Began);
  }
}

void PanGestureRecognizer::touchEnded(const Touch& touch) {
  setTouch(touch);
  if (isRecognizing()) transition(GestureState::Ended);
  reset();
}

void PanGestureRecognizer::touchCancelled(const Touch& touch) {
  setTouch(touch);
  if (isRecognizing()) transition(GestureState::Cancelled);
  reset();
}

}  // namespace tolba::platform
