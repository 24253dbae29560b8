#pragma once
// How a game hosts the SDK's screen layer. The game owns its window, its render
// loop and its input; the SDK draws its panels, toasts and floating button over
// the game like an overlay. Each frame, on the thread that ticks the main run loop:
//
//   host.touch(...), host.textInput(...), host.key(...)   // forward input first;
//                                                          // true = the SDK took it
//   tolba::platform::RunLoop::main().tick();               // replies, timers, notifications
//   if (host.hasContent() && host.needsRedraw()) {         // cheap when idle
//     TolbaPixelRect changed = host.dirtyRect();
//     tolba::TolbaLayer::drawInto(buffer);                 // TolbaLayer.h (renderer library)
//     ... upload `changed` of the buffer to the game's texture ...
//   }
//   ... draw the texture over the game ...
//
// Every call here belongs to the main thread. Coordinates are points with the
// origin at the top left of the screen in its current orientation.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tolba/export.h"

namespace tolba {

// Interface orientations, numbered as on the phone platform.
enum class TolbaOrientation : std::int32_t {
  Portrait = 1,
  PortraitUpsideDown = 2,
  LandscapeRight = 3,
  LandscapeLeft = 4,
};

struct TolbaEdgeInsets {
  double top = 0, left = 0, bottom = 0, right = 0;
};

// The game's screen as the SDK should lay out for it.
struct TolbaScreen {
  double width = 375;   // points, in the current orientation
  double height = 667;  // points, in the current orientation
  double scale = 2;     // pixels per point
  TolbaEdgeInsets safeArea;
  TolbaOrientation orientation = TolbaOrientation::Portrait;
};

enum class TolbaTouchPhase : std::int32_t { Began = 0, Moved = 1, Ended = 2, Cancelled = 3 };

enum class TolbaKey : std::int32_t { Backspace = 0, Return = 1, Tab = 2, Escape = 3 };

// A pixel buffer the SDK draws into: RGBA bytes in that order, premultiplied
// alpha, `stride` bytes from the start of one row to the next.
struct TolbaPixelBuffer {
  std::uint8_t* pixels = nullptr;
  std::int32_t width = 0;   // pixels
  std::int32_t height = 0;  // pixels
  std::int32_t stride = 0;  // bytes, at least 4 * width
};

// A rectangle of the layer in whole pixels from its top left; empty when
// width or height is 0.
struct TolbaPixelRect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// Something the player can see and act on, for automation and accessibility:
// "button", "field", "switch", "label", "web" (the SDK's own controls only).
struct TolbaElement {
  std::string kind;
  std::string text;                            // title, text or placeholder as shown (secure fields: bullets)
  double x = 0, y = 0, width = 0, height = 0;  // on screen, in points
  bool focused = false;                        // a field that takes typed text
  bool on = false;                             // a switch that is on
};

class TOLBA_API TolbaHost {
 public:
  // The process-wide host side of the SDK (created on first use, never destroyed).
  static TolbaHost& shared();

  // --- Screen --------------------------------------------------------------------
  // Size, scale, safe area and orientation. A change of size or orientation
  // rebuilds open panels as a rotation does (at the next tick). Call it before
  // the first login: the first call also puts up the SDK's layer (a transparent
  // window that its panels go into). A size that is not positive is ignored.
  void setScreen(const TolbaScreen& screen);
  TolbaScreen screen() const;

  // --- Input (each answers whether the SDK took the event) --------------------------
  // One finger by id; a touch that began on the SDK's layer belongs to it until it
  // ends. While a modal panel is open every touch is taken. A second Began for a
  // finger the SDK holds cancels the first touch.
  bool touch(std::int64_t fingerId, TolbaTouchPhase phase, double x, double y);
  // Committed text (UTF-8) for the focused field.
  bool textInput(const std::string& utf8);
  // The input method's composition (preedit) and its cursor, in characters; an
  // empty text ends the composition. Text that is not printable UTF-8 is dropped
  // (with a log line).
  bool textEditing(const std::string& preeditUtf8, std::int32_t cursor);
  // For the focused field: Backspace deletes a character (not while composing:
  // the input method edits its own text); Return submits where the panel has a
  // submit for that field, otherwise moves on to the next field (or puts the
  // keyboard away after the last); Tab moves to the next field, round to the
  // first; Escape puts the keyboard away. Nothing is taken without a focused field.
  bool key(TolbaKey key);
  // True while a field is focused: the game should turn on its text input (and
  // its input method) and may show the area below as covered by a keyboard.
  bool wantsTextInput() const;

  // --- Drawing ---------------------------------------------------------------------
  // True when the SDK shows anything at all (a panel, a toast, the floating button).
  bool hasContent() const;
  // True when the layer changed since it was last drawn, or an animation or toast
  // is running. An idle SDK answers false and costs nothing per frame.
  bool needsRedraw() const;
  // The pixels the next draw changes: the box around everything that moved,
  // faded or changed since the last draw (the whole layer after a resize or
  // redrawAll(), and before the first draw); empty when nothing did. Redrawing
  // into the same buffer as last time redraws only this part and leaves the
  // rest as it was, so a game uploads only this part of its texture.
  TolbaPixelRect dirtyRect() const;
  // Makes the next draw redraw (and dirtyRect() cover) the whole layer, for a
  // game that lost its texture.
  void redrawAll();
  // Size of the layer in pixels (screen size times scale, rounded up).
  std::int32_t pixelWidth() const;
  std::int32_t pixelHeight() const;

  // What the player sees, front to back order not guaranteed (automation).
  std::vector<TolbaElement> elements() const;

  // --- Application events -------------------------------------------------------------
  void didBecomeActive();
  void didEnterBackground();
  // Addresses the SDK opens in another application (the "weixin://" hand-off) go to
  // this handler, which answers whether it opened them. Without one, nothing opens.
  void setOpenURLHandler(std::function<bool(const std::string& url)> handler);

  // Marks the layer drawn (the renderer calls it after drawing).
  void didDraw();

 private:
  TolbaHost();
};

}  // namespace tolba
