#include "toolkit/keyboard.h"

#include "tolba/platform/notification_center.h"
#include "toolkit/animation.h"
#include "toolkit/application.h"
#include "toolkit/color.h"
#include "toolkit/window.h"

namespace tolba::platform {

namespace {
// The grey of the platform's light keyboard.
constexpr Color kKeyboardColor{0.82, 0.83, 0.86, 1};
}  // namespace

Keyboard& Keyboard::shared() {
  static auto* keyboard = new Keyboard();  // never destroyed, like the application
  return *keyboard;
}

Rect Keyboard::shownFrame() const {
  const auto& app = Application::shared();
  const Rect screen = app.mainScreenBounds();
  const bool landscape = screen.width() > screen.height();
  const double height = (landscape ? kLandscapeHeight : kPortraitHeight) + app.safeAreaInsets().bottom;
  return {0, screen.height() - height, screen.width(), height};
}

void Keyboard::ensureWindow() {
  auto& app = Application::shared();
  const Rect screen = app.mainScreenBounds();
  if (!window_) {
    window_ = std::make_shared<Window>(screen);
    window_->setOpaque(false);  // never a candidate for toasts
    view_ = std::make_shared<View>();
    view_->setBackgroundColor(kKeyboardColor);
    view_->setHidden(true);
    window_->addSubview(view_);
  }
  window_->setFrame(screen);
  window_->setHidden(false);
  // In front of every window, also those added since it was last up.
  const auto windows = app.windows();
  if (windows.empty() || windows.back() != window_) {
    app.removeWindow(window_.get());
    app.addWindow(window_);
  }
}

void Keyboard::post(const char* name, Rect end) const {
  NotificationCenter::defaultCenter().post(
      name, nullptr,
      nlohmann::json{{kKeyboardFrameEndUserInfoKey,
                      {{"x", end.x()}, {"y", end.y()}, {"width", end.width()}, {"height", end.height()}}},
                     {kKeyboardAnimationDurationUserInfoKey, kAnimationDuration}});
}

void Keyboard::show() {
  ensureWindow();
  const Rect end = shownFrame();
  if (!visible_ || view_->isHidden()) {
    // From just below the bottom edge.
    view_->setFrame({end.x(), window_->bounds().height(), end.width(), end.height()});
    view_->setHidden(false);
  }
  visible_ = true;
  post(kKeyboardWillShowNotification, end);
  animateWithDuration(kAnimationDuration, 0, AnimationOptionAllowUserInteraction, [&] { view_->setFrame(end); });
}

void Keyboard::hide() {
  if (!visible_ || !view_) return;
  visible_ = false;
  const Rect shown = shownFrame();
  const Rect end{shown.x(), Application::shared().mainScreenBounds().height(), shown.width(), shown.height()};
  post(kKeyboardWillHideNotification, end);
  std::weak_ptr<View> weak = view_;
  animateWithDuration(
      kAnimationDuration, 0, AnimationOptionNone, [&] { view_->setFrame(end); },
      [this, weak](bool) {
        auto view = weak.lock();
        if (view && view == view_ && !visible_) view->setHidden(true);
      });
}

void Keyboard::screenDidChange() {
  if (!window_) return;
  window_->setFrame(Application::shared().mainScreenBounds());
  if (!visible_) {
    view_->setHidden(true);
    return;
  }
  const Rect end = shownFrame();
  view_->setFrame(end);
  post(kKeyboardWillShowNotification, end);
}

Rect Keyboard::endFrame(const nlohmann::json& userInfo) {
  if (!userInfo.is_object() || !userInfo.contains(kKeyboardFrameEndUserInfoKey)) return {};
  const auto& f = userInfo[kKeyboardFrameEndUserInfoKey];
  auto number = [&](const char* key) {
    return f.is_object() && f.contains(key) && f[key].is_number() ? f[key].get<double>() : 0.0;
  };
  return {number("x"), number("y"), number("width"), number("height")};
}

void Keyboard::reset() {
  if (window_) Application::shared().removeWindow(window_.get());
  window_.reset();
  view_.reset();
  visible_ = false;
}

}  // namespace tolba::platform
