#pragma once
// Gesture recognisers see the touches of the view they are attached to and of
// its subviews, before the touched view does. A recogniser that recognises its
// gesture cancels the touch for the view (the view gets touchesCancelled).

#include <functional>

#include "toolkit/touch.h"

namespace tolba::platform {

class View;

// Numbered as on the phone platform.
enum class GestureState { Possible = 0, Began = 1, Changed = 2, Ended = 3, Cancelled = 4, Failed = 5 };

class GestureRecognizer {
 public:
  using Action = std::function<void(GestureRecognizer&)>;
  explicit GestureRecognizer(Action action = nullptr) : action_(std::move(action)) {}
  virtual ~GestureRecognizer() = default;
  GestureRecognizer(const GestureRecognizer&) = delete;
  GestureRecognizer& operator=(const GestureRecognizer&) = delete;

  GestureState state() const { return state_; }
  View* view() const { return view_; }
  void setAction(Action action) { action_ = std::move(action); }
  bool delaysTouchesBegan() const { return delaysTouchesBegan_; }
  void setDelaysTouchesBegan(bool delays) { delaysTouchesBegan_ = delays; }
  // Where the current touch is, in `view`'s coordinates (the window's when null).
  Point locationInView(const View* view) const { return touch_.locationInView(view); }
  // True once the gesture has begun and until it ends: the touch is then the
  // recogniser's, not the view's.
  bool isRecognizing() const { return state_ == GestureState::Began || state_ == GestureState::Changed; }

  // Called by the window for each touch of the view's subtree.
  virtual void touchBegan(const Touch& touch) = 0;
  virtual void touchMoved(const Touch& touch) = 0;
  virtual void touchEnded(const Touch& touch) = 0;
  virtual void touchCancelled(const Touch& touch) = 0;

 protected:
  // Enters `state` and runs the action.
  void transition(GestureState state);
  void setTouch(const Touch& touch) { touch_ = touch; }
  void reset() { state_ = GestureState::Possible; }

 private:
  friend class View;
  Action action_;
  GestureState state_ = GestureState::Possible;
  View* view_ = nullptr;
  bool delaysTouchesBegan_ = false;
  Touch touch_;
};

// Recognises a drag: begins once the finger has moved 10 points from where it
// went down, then reports each move, and the lift (Ended) or a cancel.
class PanGestureRecognizer final : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;
  static constexpr double kHysteresis = 10.0;

  void touchBegan(const Touch& touch) override;
  void touchMoved(const Touch& touch) override;
  void touchEnded(const Touch& touch) override;
  void touchCancelled(const Touch& touch) override;

 private:
  Point start_;
};

}  // namespace tolba::platform
