#include "ui/TolbaBaseView.h"

#include <algorithm>

#include "tolba/platform/log.h"
#include "toolkit/animation.h"
#include "toolkit/application.h"
#include "toolkit/color.h"
#include "toolkit/keyboard.h"
#include "toolkit/text_field.h"
#include "toolkit/window.h"

namespace tolba {

TolbaBaseView::~TolbaBaseView() = default;  // the observer goes with orientationObserver_

std::shared_ptr<platform::Window> TolbaBaseView::keyWindowFor(const char* panel) {
  auto window = platform::Application::shared().keyWindow();
  if (!window) platform::log(std::string("TolbaLog:no key window to show the ") + panel + " in");
  return window;
}

platform::Rect TolbaBaseView::screenFrame() {
  const auto screen = platform::Application::shared().mainScreenBounds();
  return {0, 0, screen.width(), screen.height()};
}

void TolbaBaseView::addToWindow(platform::Window& window, const std::shared_ptr<platform::View>& panel) {
  window.addSubview(panel);
}

bool TolbaBaseView::initWithFrame(platform::Rect frame) {
  if (subViewW_h_ == 0 && subViewH_h_ == 0 && subViewW_v_ == 0 && subViewH_v_ == 0) setSquareContentSize(kPanelSide);
  setFrame(frame);
  auto& center = platform::NotificationCenter::defaultCenter();
  std::weak_ptr<TolbaBaseView> weak = std::static_pointer_cast<TolbaBaseView>(shared_from_this());
  auto observe = [&](const char* name, void (TolbaBaseView::*handler)(const platform::Notification&)) {
    return platform::ScopedObserver(center,
                                    center.addObserver(name, nullptr, [weak, handler](const platform::Notification& n) {
                                      if (auto self = weak.lock()) ((*self).*handler)(n);
                                    }));
  };
  orientationObserver_ = observe(platform::kApplicationDidChangeStatusBarOrientationNotification,
                                 &TolbaBaseView::statusBarOrientationChange);
  screenObserver_ =
      observe(platform::kApplicationDidChangeScreenBoundsNotification, &TolbaBaseView::screenBoundsChange);
  keyboardShowObserver_ = observe(platform::kKeyboardWillShowNotification, &TolbaBaseView::keyboardWillShow);
  keyboardHideObserver_ = observe(platform::kKeyboardWillHideNotification, &TolbaBaseView::keyboardWillHide);
  initContentView();
  fillContentBox();
  return true;
}

platform::Rect TolbaBaseView::contentFrame(double w, double h, platform::Rect screen) {
  const double sw = screen.width();
  const double sh = screen.height();
  if (w == 1.0 && h == 1.0) return {0, 0, sw, sh};
  platform::Size size = (w > 1.0 || h > 1.0) ? platform::Size{w, h} : platform::Size{sw * w, sh * h};
  return {(sw - size.width) * 0.5, (sh - size.height) * 0.5, size.width, size.height};
}

void TolbaBaseView::initContentView() {
  double w = 0;
  double h = 0;
  if (frame().width() > frame().height()) {
    curDirection_ = 0;
    w = subViewW_h_;
    h = subViewH_h_;
  } else {
    curDirection_ = 1;
    w = subViewW_v_;
    h = subViewH_v_;
  }
  const auto screen = platform::Application::shared().mainScreenBounds();
  keyboardLift_ = 0;
  subContentView_ = std::make_shared<platform::View>(contentFrame(w, h, screen));
  subContentView_->setBackgroundColor(platform::Color::whiteColor());
  addSubview(subContentView_);
  subContentView_->setCornerRadius(5.0);
  subContentView_->setClipsToBounds(true);
}

void TolbaBaseView::statusBarOrientationChange(const platform::Notification&) {
  const std::int64_t orientation = platform::Application::shared().statusBarOrientation();
  if (orientation < 1 || orientation > 4) return;
  if (orientation == currentOrientation_) return;
  currentOrientation_ = orientation;
  rebuild();
}

void TolbaBaseView::screenBoundsChange(const platform::Notification&) {
  if (frame() == screenFrame()) return;  // a rotation has rebuilt it already
  const std::int64_t orientation = platform::Application::shared().statusBarOrientation();
  if (orientation >= 1 && orientation <= 4) currentOrientation_ = orientation;
  rebuild();
}

void TolbaBaseView::rebuild() {
  auto self = shared_from_this();  // a subclass's rebuild must not end the panel mid-way
  setFrame(screenFrame());
  if (subContentView_) subContentView_->removeFromSuperview();
  initContentView();
  initSubContentViews();
}

void TolbaBaseView::keyboardWillShow(const platform::Notification& n) {
  auto box = subContentView_;
  auto field = platform::TextField::focusedField();
  const double duration = platform::Keyboard::kAnimationDuration;
  if (!box || !field || !field->isDescendantOf(box.get()) || !window()) {
    liftContent(0, duration);
    return;
  }
  // Where the field would be with the box in its place, on the screen.
  const platform::Rect keyboard = platform::Keyboard::endFrame(n.userInfo);
  const double windowY = window()->frame().y();
  const double fieldTop = field->convertToWindow({0, 0}).y + windowY + keyboardLift_;
  const double fieldBottom = fieldTop + field->frame().height();
  constexpr double kGap = 10;  // between the field and the keyboard
  double lift = std::max(0.0, fieldBottom + kGap - keyboard.y());
  // Never so far that the field itself leaves the top of the safe area.
  lift = std::min(lift, std::max(0.0, fieldTop - platform::Application::shared().safeAreaInsets().top));
  liftContent(lift, duration);
}

void TolbaBaseView::keyboardWillHide(const platform::Notification&) {
  liftContent(0, platform::Keyboard::kAnimationDuration);
}

void TolbaBaseView::liftContent(double lift, double duration) {
  auto box = subContentView_;
  if (!box || lift == keyboardLift_) return;
  platform::Rect frame = box->frame();
  frame.origin.y += keyboardLift_ - lift;
  keyboardLift_ = lift;
  platform::animateWithDuration(duration, 0, platform::AnimationOptionAllowUserInteraction,
                                [&] { box->setFrame(frame); });
}

}  // namespace tolba
