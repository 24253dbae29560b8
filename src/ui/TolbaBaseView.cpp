#include "ui/TolbaBaseView.h"

#include "toolkit/application.h"
#include "toolkit/color.h"
#include "tolba/platform/log.h"
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

bool TolbaBaseView::initWithFrame(platform::Rect frame) {
  setFrame(frame);
  auto& center = platform::NotificationCenter::defaultCenter();
  std::weak_ptr<TolbaBaseView> weak = std::static_pointer_cast<TolbaBaseView>(shared_from_this());
  orientationObserver_ = platform::ScopedObserver(
      center, center.addObserver(platform::kApplicationDidChangeStatusBarOrientationNotification, nullptr,
                                 [weak](const platform::Notification& n) {
                                   if (auto self = weak.lock()) self->statusBarOrientationChange(n);
                                 }));
  initContentView();
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
  auto self = shared_from_this();  // a subclass's rebuild must not end the panel mid-way
  currentOrientation_ = orientation;
  const auto screen = platform::Application::shared().mainScreenBounds();
  setFrame({0, 0, screen.width(), screen.height()});
  if (subContentView_) subContentView_->removeFromSuperview();
  initContentView();
  initSubContentViews();
}

}  // namespace tolba
