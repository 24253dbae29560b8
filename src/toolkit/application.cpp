#include "toolkit/application.h"

#include <algorithm>

#include "tolba/platform/log.h"
#include "tolba/platform/notification_center.h"
#include "tolba/platform/run_loop.h"
#include "toolkit/display.h"
#include "toolkit/keyboard.h"
#include "toolkit/window.h"

namespace tolba::platform {
namespace {

constexpr Rect kDefaultScreen{0, 0, 375, 667};

bool isValidOrientation(std::int64_t o) { return o >= 1 && o <= 4; }
bool isLandscape(std::int64_t o) { return o == 3 || o == 4; }

std::string schemeOf(const std::string& url) {
  const auto colon = url.find(':');
  if (colon == std::string::npos || colon == 0) return {};
  std::string scheme = url.substr(0, colon);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
  return scheme;
}

}  // namespace

Application::Application() : screenBounds_(kDefaultScreen) {}

Application& Application::shared() {
  static auto* app = new Application();  // never destroyed, like the main run loop
  return *app;
}

std::vector<std::shared_ptr<Window>> Application::windows() const { return windows_; }

void Application::addWindow(const std::shared_ptr<Window>& window) {
  if (!window) return;
  if (std::find(windows_.begin(), windows_.end(), window) == windows_.end()) {
    windows_.push_back(window);
    window->setNeedsDisplay();
  }
}

void Application::removeWindow(const Window* window) {
  for (const auto& w : windows_) {
    if (w.get() == window) w->setNeedsDisplay();  // where it was drawn, before it goes
  }
  std::erase_if(windows_, [&](const auto& w) { return w.get() == window; });
  if (keyWindow_.lock().get() == window) keyWindow_.reset();
}

void Application::setKeyWindow(const std::shared_ptr<Window>& window) {
  addWindow(window);
  keyWindow_ = window;
}

void Application::setStatusBarOrientation(std::int64_t orientation) {
  if (orientation == orientation_) return;
  orientation_ = orientation;
  // The screen keeps the shape of the last known orientation while the
  // orientation is unknown (0), so 1 -> 0 -> 3 still turns it.
  if (isValidOrientation(orientation) && isLandscape(shapeOrientation_) != isLandscape(orientation)) {
    const Rect before = screenBounds_;
    screenBounds_ = {before.origin, {before.height(), before.width()}};
    for (const auto& w : windows_) {
      if (w->frame() == before) w->setFrame(screenBounds_);
    }
  }
  if (isValidOrientation(orientation)) shapeOrientation_ = orientation;
  RunLoop::main().post(
      [] { NotificationCenter::defaultCenter().post(kApplicationDidChangeStatusBarOrientationNotification); });
}

void Application::resizeScreen(Rect bounds) {
  if (bounds == screenBounds_) return;
  const Rect before = screenBounds_;
  screenBounds_ = bounds;
  for (const auto& w : windows_) {
    if (w->frame() == before) w->setFrame(screenBounds_);
  }
  setNeedsDisplay();
  RunLoop::main().post([] { NotificationCenter::defaultCenter().post(kApplicationDidChangeScreenBoundsNotification); });
}

void Application::becomeActive() {
  state_ = ApplicationState::Active;
  RunLoop::main().post([] { NotificationCenter::defaultCenter().post(kApplicationDidBecomeActiveNotification); });
}

void Application::registerSchemeHandler(const std::string& scheme, SchemeHandler handler) {
  std::string key = schemeOf(scheme + ":");
  if (handler) {
    schemeHandlers_[key] = std::move(handler);
  } else {
    schemeHandlers_.erase(key);
  }
}

void Application::unregisterSchemeHandler(const std::string& scheme) { schemeHandlers_.erase(schemeOf(scheme + ":")); }

void Application::openURL(const std::string& url, const nlohmann::json& /*options*/,
                          std::function<void(bool)> completion) {
  SchemeHandler handler;
  if (auto it = schemeHandlers_.find(schemeOf(url)); it != schemeHandlers_.end()) handler = it->second;
  if (!handler) handler = fallbackHandler_;
  if (!handler) log("openURL: no application takes " + url);
  RunLoop::main().post([this, url, handler = std::move(handler), completion = std::move(completion)] {
    const bool opened = handler && handler(url);
    if (opened) enterBackground();
    if (completion) completion(opened);
  });
}

void Application::reset() {
  windows_.clear();
  keyWindow_.reset();
  screenBounds_ = kDefaultScreen;
  screenScale_ = 2;
  safeAreaInsets_ = {};
  orientation_ = InterfaceOrientationPortrait;
  shapeOrientation_ = InterfaceOrientationPortrait;
  state_ = ApplicationState::Active;
  schemeHandlers_.clear();
  fallbackHandler_ = nullptr;
  Keyboard::shared().reset();
  resetDisplay();
}

}  // namespace tolba::platform
