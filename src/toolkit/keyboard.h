#pragma once
// The on-screen keyboard. When a text field takes focus the keyboard rises from
// the bottom of the screen, in a window of its own above every other window;
// when the last field gives focus up it goes down again. It is a plain light
// grey view (the game's own input method does the typing: the host forwards
// committed text, preedit and keys), so a renderer draws it like any view.
//
// Observers hear kKeyboardWillShowNotification (also when focus moves to
// another field while it is up) and kKeyboardWillHideNotification, posted
// synchronously, with user info
//   {"UIKeyboardFrameEndUserInfoKey": {"x", "y", "width", "height"} (screen points),
//    "UIKeyboardAnimationDurationUserInfoKey": seconds}.
// Main thread only.

#include <memory>

#include <nlohmann/json.hpp>

#include "toolkit/geometry.h"

namespace tolba::platform {

class View;
class Window;

inline constexpr char kKeyboardWillShowNotification[] = "UIKeyboardWillShowNotification";
inline constexpr char kKeyboardWillHideNotification[] = "UIKeyboardWillHideNotification";
inline constexpr char kKeyboardFrameEndUserInfoKey[] = "UIKeyboardFrameEndUserInfoKey";
inline constexpr char kKeyboardAnimationDurationUserInfoKey[] = "UIKeyboardAnimationDurationUserInfoKey";

class Keyboard {
 public:
  // Heights in points, above the screen's bottom safe-area inset.
  static constexpr double kPortraitHeight = 216;
  static constexpr double kLandscapeHeight = 162;
  static constexpr double kAnimationDuration = 0.25;

  static Keyboard& shared();

  // Up, or on its way up.
  bool isVisible() const { return visible_; }
  // Where the keyboard is when up, on the current screen.
  Rect shownFrame() const;
  // The window and the grey view (created on first show).
  std::shared_ptr<Window> window() const { return window_; }
  std::shared_ptr<View> view() const { return view_; }

  // Called by the text fields on focus changes.
  void show();
  void hide();
  // Re-lays out a keyboard that is up after the screen changed (and announces
  // its new frame with a will-show notification).
  void screenDidChange();

  // Reads the end frame out of a notification's user info.
  static Rect endFrame(const nlohmann::json& userInfo);

  // Forgets the window (a fresh application).
  void reset();

 private:
  Keyboard() = default;
  void ensureWindow();
  void post(const char* name, Rect end) const;
  std::shared_ptr<Window> window_;
  std::shared_ptr<View> view_;
  bool visible_ = false;
};

}  // namespace tolba::platform
