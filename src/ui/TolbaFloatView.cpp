#include "ui/TolbaFloatView.h"

#include <algorithm>
#include <mutex>

#include "tolba/platform/device.h"
#include "tolba/platform/log.h"
#include "tolba/platform/run_loop.h"
#include "toolkit/animation.h"
#include "toolkit/application.h"
#include "toolkit/window.h"

namespace tolba {
namespace {

constexpr char kChangeStatus[] = "KUchangeStatus";

struct Instance {
  std::mutex mutex;
  std::shared_ptr<TolbaFloatView> view;
};

Instance& instance() {
  static auto* i = new Instance();  // lives as long as the process
  return *i;
}

// A phone whose key window keeps a bottom safe area (a home indicator, and a
// sensor housing at one end of the screen).
bool isPhoneWithBottomInset() {
  if (platform::Device::current().idiom() != platform::UserInterfaceIdiom::Phone) return false;
  auto key = platform::Application::shared().keyWindow();
  return key && key->safeAreaInsets().bottom > 0;
}

platform::Rect screen() { return platform::Application::shared().mainScreenBounds(); }

}  // namespace

std::shared_ptr<TolbaFloatView> TolbaFloatView::shareInstance() {
  auto& inst = instance();
  std::lock_guard lock(inst.mutex);
  if (!inst.view) {
    const double W = screen().width();
    const double H = screen().height();
    double y = H * 0.5;
    if (isPhoneWithBottomInset() && H < W) y = 20.0;
    inst.view = std::make_shared<TolbaFloatView>(platform::Rect{W - 40, y, 40, 40});
    inst.view->setupControls();
  }
  return inst.view;
}

void TolbaFloatView::resetForTesting() {
  std::shared_ptr<TolbaFloatView> old;
  {
    auto& inst = instance();
    std::lock_guard lock(inst.mutex);
    old.swap(inst.view);
  }
  if (old) {
    platform::RunLoop::main().cancelPerform(old.get());
    old->removeFromSuperview();
  }
}

std::shared_ptr<TolbaFloatView> TolbaFloatView::existingInstance() {
  auto& inst = instance();
  std::lock_guard lock(inst.mutex);
  return inst.view;
}

void TolbaFloatView::keepOnScreen(platform::Rect before) {
  const double W = screen().width();
  const double H = screen().height();
  const double w = KUwidth();
  const double h = KUheight();
  const platform::Point c = center();
  double x = c.x;
  if (c.x == before.width()) {
    x = W;  // parked half off the right edge
  } else if (c.x >= before.width() - w * 0.5 - 20) {
    x = W - w * 0.5;  // resting at the right edge
  } else {
    x = std::min(std::max(c.x, 0.0), W);
  }
  const double y = std::min(std::max(c.y, h * 0.5), H - h * 0.5);
  if (x != c.x || y != c.y) setCenter({x, y});
}

TolbaFloatView::TolbaFloatView(platform::Rect frame) : View(frame) {}

TolbaFloatView::~TolbaFloatView() { platform::RunLoop::main().cancelPerform(this); }

void TolbaFloatView::setupControls() {
  auto key = platform::Application::shared().keyWindow();
  auto host = key ? key->rootView() : nullptr;
  setTag(kTag);
  if (host) {
    host->insertSubview(shared_from_this(), static_cast<std::size_t>(kTag));
  } else {
    platform::log("TolbaLog:no key window with a root view for the floating button");
  }
  addSubview(mainBtn());
  addGestureRecognizer(panGesture());
  if (isPhoneWithBottomInset()) {
    const auto orientation = platform::Application::shared().statusBarOrientation();
    if (orientation == platform::InterfaceOrientationLandscapeRight) {
      isLeft_ = true;
      isRight_ = false;
    } else if (orientation == platform::InterfaceOrientationLandscapeLeft) {
      isLeft_ = false;
      isRight_ = true;
    }
  }
  scheduleHalfHide();
}

const std::shared_ptr<platform::Button>& TolbaFloatView::mainBtn() {
  if (!mainBtn_) {
    auto button = std::make_shared<platform::Button>(platform::Rect{0, 0, 40, 40});
    button->setAlpha(0.8);
    button->setTitle("切转\n账号");
    button->setTitleFont(platform::Font::systemFont(13));
    button->setTitleColor(platform::Color::blackColor());
    button->titleLabel().setLineBreakMode(platform::LineBreakMode::WordWrapping);
    button->setBackgroundColor(platform::Color::whiteColor());
    button->setCornerRadius(20.0);
    button->setClipsToBounds(true);
    std::weak_ptr<TolbaFloatView> weak = std::static_pointer_cast<TolbaFloatView>(shared_from_this());
    button->addTarget(platform::ControlEvent::TouchUpInside, [weak](platform::Control&) {
      if (auto self = weak.lock()) self->mainBtnClick();
    });
    mainBtn_ = std::move(button);
  }
  return mainBtn_;
}

const std::shared_ptr<platform::PanGestureRecognizer>& TolbaFloatView::panGesture() {
  if (!panGesture_) {
    std::weak_ptr<TolbaFloatView> weak = std::static_pointer_cast<TolbaFloatView>(shared_from_this());
    panGesture_ = std::make_shared<platform::PanGestureRecognizer>([weak](platform::GestureRecognizer& r) {
      if (auto self = weak.lock()) self->KUlocationChange(r);
    });
    panGesture_->setDelaysTouchesBegan(false);
  }
  return panGesture_;
}

void TolbaFloatView::scheduleHalfHide() {
  std::weak_ptr<TolbaFloatView> weak = std::static_pointer_cast<TolbaFloatView>(shared_from_this());
  platform::RunLoop::main().performAfter(this, kChangeStatus, platform::Duration(1.0), [weak] {
    if (auto self = weak.lock()) self->KUchangeStatus();
  });
}

void TolbaFloatView::mainBtnClick() {
  const platform::Point c = center();
  const double W = screen().width();
  const double w = KUwidth();
  mainBtn()->setAlpha(1.0);
  // Parked half off the screen, or at the offset of an obstructed edge: reveal.
  const bool parkedLeft = c.x == 0.0 || (isLeft_ && c.x == 30.0);
  const bool parkedRight = c.x == W || (isRight_ && c.x == W - 37.0);
  if (parkedLeft) {
    setCenter({w * 0.5, c.y});
    isShowAll_ = true;
    return;
  }
  if (parkedRight) {
    setCenter({W - w * 0.5, c.y});
    isShowAll_ = true;
    return;
  }
  if (isShowAll_) {
    auto self = shared_from_this();
    if (clickBlock_) {
      auto block = clickBlock_;  // the block may replace itself
      block();
    }
    setHidden(true);
  }
}

void TolbaFloatView::KUlocationChange(platform::GestureRecognizer& recognizer) {
  auto key = platform::Application::shared().keyWindow();
  const platform::Point p = recognizer.locationInView(key.get());
  switch (recognizer.state()) {
    case platform::GestureState::Began:
      platform::RunLoop::main().cancelPerform(this, std::string(kChangeStatus));
      mainBtn()->setAlpha(1.0);
      break;
    case platform::GestureState::Changed: setCenter(p); break;
    case platform::GestureState::Ended:
      scheduleHalfHide();
      stateEndedStatus(p);
      break;
    default: break;
  }
}

void TolbaFloatView::stateEndedStatus(platform::Point p) {
  const double W = screen().width();
  const double H = screen().height();
  const double w = KUwidth();
  const double h = KUheight();
  const bool left = p.x <= W * 0.5;
  const double x = left ? w * 0.5 : W - w * 0.5;
  const bool awayFromEdge = left ? p.x >= w * 0.5 + 20 : p.x < W - w * 0.5 - 20;
  double y = 0;
  if (awayFromEdge && p.y <= h * 0.5 + 40) {
    y = h * 0.5;
  } else if (awayFromEdge && p.y >= H - h * 0.5 - 40) {
    y = H - h * 0.5;
  } else {
    y = std::min(std::max(p.y, h * 0.5), H - h * 0.5);
  }
  platform::animateWithDuration(0.1, [this, x, y] { setCenter({x, y}); });
}

void TolbaFloatView::KUchangeStatus() {
  isShowAll_ = false;
  const double W = screen().width();
  const double H = screen().height();
  const double w = KUwidth();
  const double h = KUheight();
  const platform::Point c = center();
  double X = c.x;
  if (c.x < w * 0.5 + 20) {
    X = 0;
  } else if (c.x > W - w * 0.5 - 20) {
    X = W;
  }
  double Y = c.y;
  if (c.y < h * 0.5 + 40) {
    Y = 0;
  } else if (c.y > H - h * 0.5 - 40) {
    Y = H;
  }
  const bool notched = isPhoneWithBottomInset();
  if ((X == 0 || X == W) && (Y == 0 || Y == H)) {
    Y = c.y;
    if (notched) Y = c.y <= h * 0.5 + 40 ? 40 : H - 40;
  }
  if (notched) {
    const double B = (H - 200) * 0.5;
    if (isLeft_ && X < W * 0.5 && B < Y && Y < B + 200) X = 30;
    if (isRight_ && X > W * 0.5 && B < Y && Y < B + 200) X = W - 37;
  }
  auto button = mainBtn();
  platform::animateWithDuration(1.0, [button] { button->setAlpha(0.8); });
  platform::animateWithDuration(0.5, [this, X, Y] { setCenter({X, Y}); });
}

}  // namespace tolba
