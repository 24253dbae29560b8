#pragma once
// The floating switch-account button: a 40-point round button over the game,
// in the key window's root view. The player drags it anywhere; let go, it snaps
// to the nearer side edge (or a corner), and a second later it slides half off
// the screen and turns translucent (parked). A tap on a parked button brings it
// fully back (revealed); a tap on a revealed one runs clickBlock and hides the
// button. One instance per process.
//
// On a phone with a bottom safe-area inset held in landscape, the edge where the
// sensor housing sits (the left one in orientation 3, the right one in 4) is
// obstructed: a button parking there in the middle band stops at centre x 30
// (left) or W - 37 (right) instead of half off the screen. Such a button counts
// as parked too: a tap reveals it and the next tap runs clickBlock.

#include <cstdint>
#include <functional>
#include <memory>

#include "toolkit/button.h"
#include "toolkit/gesture_recognizer.h"
#include "toolkit/view.h"

namespace tolba {

class TolbaFloatView : public platform::View {
 public:
  static constexpr std::int64_t kTag = 1008611;

  // The single instance, created (and inserted into the key window's root view)
  // at the first call.
  static std::shared_ptr<TolbaFloatView> shareInstance();
  // Removes the instance from the screen and forgets it (tests).
  static void resetForTesting();
  // The instance if it was created, without creating it.
  static std::shared_ptr<TolbaFloatView> existingInstance();

  // After the screen changed from `before` to the current bounds: a button that
  // rested or was parked at the right edge stays at the new right edge, and
  // one left outside the new screen comes back inside it, at the same side.
  void keepOnScreen(platform::Rect before);

  explicit TolbaFloatView(platform::Rect frame);
  ~TolbaFloatView() override;

  void setupControls();
  void showFloat() { setHidden(false); }
  void hideFloat() { setHidden(true); }

  void mainBtnClick();
  void KUlocationChange(platform::GestureRecognizer& recognizer);
  // Snaps to an edge or corner from where the drag ended (key window coordinates).
  void stateEndedStatus(platform::Point p);
  // Half-hides the button at the edge it is nearest to.
  void KUchangeStatus();
  double KUwidth() const { return frame().width(); }
  double KUheight() const { return frame().height(); }

  const std::function<void()>& clickBlock() const { return clickBlock_; }
  void setClickBlock(std::function<void()> block) { clickBlock_ = std::move(block); }
  const std::shared_ptr<platform::Button>& mainBtn();
  void setMainBtn(std::shared_ptr<platform::Button> button) { mainBtn_ = std::move(button); }
  const std::shared_ptr<platform::PanGestureRecognizer>& panGesture();
  void setPanGesture(std::shared_ptr<platform::PanGestureRecognizer> pan) { panGesture_ = std::move(pan); }
  bool isLeft() const { return isLeft_; }
  void setIsLeft(bool v) { isLeft_ = v; }
  bool isRight() const { return isRight_; }
  void setIsRight(bool v) { isRight_ = v; }
  bool isShowAll() const { return isShowAll_; }
  void setIsShowAll(bool v) { isShowAll_ = v; }

 private:
  void scheduleHalfHide();
  std::shared_ptr<platform::PanGestureRecognizer> panGesture_;
  bool isLeft_ = false;
  bool isRight_ = false;
  std::shared_ptr<platform::Button> mainBtn_;
  bool isShowAll_ = false;
  std::function<void()> clickBlock_;
};

}  // namespace tolba
