#pragma once
// Toasts: a short text in a black rounded box in the lower part of a window,
// fully shown for 0.3 s, then fading out over 2.0 s, then removed. Every toast
// is independent; two at once lie on top of each other. Main thread only.

#include <memory>
#include <optional>
#include <string>

namespace tolba::platform {
class View;
class Window;
}  // namespace tolba::platform

namespace tolba {

class TolbaMsg {
 public:
  // Shows `message` in `host`; a nil message or a null host shows nothing.
  static void showMessage(const std::optional<std::string>& message, const std::shared_ptr<platform::View>& host);
  // The same over topWindow().
  static void showMessage(const std::optional<std::string>& message);
  // Width of the text on one line in the regular system font of `fontSize`
  // (13 when <= 0), within the given height (0 when negative); an empty or nil
  // text is measured as "无".
  static double getWidthWithText(const std::optional<std::string>& text, double height, double fontSize);
  // The key window when it is visible, opaque and covers the screen; otherwise
  // the front-most window that is; otherwise the key window (possibly null).
  static std::shared_ptr<platform::Window> topWindow();
};

}  // namespace tolba
