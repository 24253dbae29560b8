#pragma once
// The application and its screen: the windows, the key window, the main
// screen's bounds, the status-bar orientation, becoming active again, and
// opening addresses in other applications. Main thread only.
//
// On Linux the "other applications" are scheme handlers that the host (or a
// test) registers: a handler for "weixin" can stand in for WeChat.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "toolkit/geometry.h"

namespace tolba::platform {

class Window;

// Interface orientations, numbered as on the phone platform (0 is unknown).
enum InterfaceOrientation : std::int64_t {
  InterfaceOrientationUnknown = 0,
  InterfaceOrientationPortrait = 1,
  InterfaceOrientationPortraitUpsideDown = 2,
  InterfaceOrientationLandscapeRight = 3,
  InterfaceOrientationLandscapeLeft = 4,
};

inline constexpr char kApplicationDidChangeStatusBarOrientationNotification[] =
    "UIApplicationDidChangeStatusBarOrientationNotification";
inline constexpr char kApplicationDidBecomeActiveNotification[] = "UIApplicationDidBecomeActiveNotification";
// The screen changed size without turning (a desktop window resized).
inline constexpr char kApplicationDidChangeScreenBoundsNotification[] =
    "TolbaApplicationDidChangeScreenBoundsNotification";

enum class ApplicationState { Active = 0, Inactive = 1, Background = 2 };

class Application {
 public:
  static Application& shared();

  // Windows back to front (the order of the platform's `windows`).
  std::vector<std::shared_ptr<Window>> windows() const;
  // Registers a window (once); a later window lies in front of earlier ones.
  void addWindow(const std::shared_ptr<Window>& window);
  void removeWindow(const Window* window);
  std::shared_ptr<Window> keyWindow() const { return keyWindow_.lock(); }
  void setKeyWindow(const std::shared_ptr<Window>& window);

  // The main screen's bounds in the current interface orientation.
  Rect mainScreenBounds() const { return screenBounds_; }
  // Sets the screen's size as it is in the current orientation.
  void setMainScreenBounds(Rect bounds) { screenBounds_ = bounds; }
  // The screen takes a new size (as the host's window is resized): windows that
  // covered the screen are resized to cover it again, and a change is announced
  // with kApplicationDidChangeScreenBoundsNotification on the main run loop.
  void resizeScreen(Rect bounds);

  // Pixels per point of the main screen (2 by default), and the insets of the
  // screen's edges that are not safe for content (notches, rounded corners).
  double screenScale() const { return screenScale_; }
  void setScreenScale(double scale) { screenScale_ = scale; }
  EdgeInsets safeAreaInsets() const { return safeAreaInsets_; }
  void setSafeAreaInsets(EdgeInsets insets) { safeAreaInsets_ = insets; }

  std::int64_t statusBarOrientation() const { return orientation_; }
  // Turns the device. Going between a portrait (1, 2) and a landscape (3, 4)
  // orientation swaps the screen's width and height, and windows that covered
  // the screen are resized to cover it again. Any change is announced with
  // kApplicationDidChangeStatusBarOrientationNotification, posted to the main run
  // loop (delivered at its next turn). Setting the same orientation again does
  // nothing. While the orientation is unknown (0) the screen keeps its shape.
  void setStatusBarOrientation(std::int64_t orientation);

  ApplicationState applicationState() const { return state_; }
  // The player comes back to the application: it becomes active and
  // kApplicationDidBecomeActiveNotification is posted to the main run loop.
  void becomeActive();
  // The application goes to the background (another application came to the front).
  void enterBackground() { state_ = ApplicationState::Background; }

  // Opening an address: the handler registered for its scheme takes it and
  // answers whether it opened it. A handler that opens it brings its application
  // to the front, so this application goes to the background. The completion
  // runs on the main run loop, after the handler, with whether the address was
  // opened (false when no handler took it).
  using SchemeHandler = std::function<bool(const std::string& url)>;
  void registerSchemeHandler(const std::string& scheme, SchemeHandler handler);
  void unregisterSchemeHandler(const std::string& scheme);
  // Takes the addresses that no scheme handler takes (the host's URL opener).
  void setFallbackURLHandler(SchemeHandler handler) { fallbackHandler_ = std::move(handler); }
  void openURL(const std::string& url, const nlohmann::json& options = nlohmann::json::object(),
               std::function<void(bool success)> completion = nullptr);

  // Back to a fresh state: no windows (the keyboard's gone too), a 375 x 667
  // portrait screen, active, no scheme handlers, nothing drawn (tests).
  void reset();

 private:
  Application();
  std::vector<std::shared_ptr<Window>> windows_;
  std::weak_ptr<Window> keyWindow_;
  Rect screenBounds_;
  double screenScale_ = 2;
  EdgeInsets safeAreaInsets_;
  std::int64_t orientation_ = InterfaceOrientationPortrait;
  // The last valid orientation: the one the screen's shape belongs to.
  std::int64_t shapeOrientation_ = InterfaceOrientationPortrait;
  ApplicationState state_ = ApplicationState::Active;
  std::map<std::string, SchemeHandler> schemeHandlers_;
  SchemeHandler fallbackHandler_;
};

}  // namespace tolba::platform
