#include "tolba/player/player.h"

#include <algorithm>
#include <memory>

#include "tolba/platform/log.h"
#include "toolkit/application.h"
#include "toolkit/text_field.h"
#include "toolkit/view.h"
#include "toolkit/window.h"

namespace tolba::player {
namespace {

constexpr int kDragSteps = 8;

// Whether a finger at `p` in `window` lands on `view` or inside it.
bool lands(platform::Window& window, platform::View& view, platform::Point p) {
  platform::View* hit = window.hitTest(p);
  return hit && hit->isDescendantOf(&view);
}

// Where a finger taps a view: the centre of the part of it that is on the
// window (a view half off the screen is tapped on its visible half).
platform::Point visibleCenter(const platform::Window& window, const platform::View& view) {
  const platform::Point a = view.convertToWindow({0, 0});
  const platform::Point b = view.convertToWindow({view.bounds().width(), view.bounds().height()});
  const platform::Rect w = window.bounds();
  const double left = std::max(a.x, w.x());
  const double top = std::max(a.y, w.y());
  const double right = std::min(b.x, w.maxX());
  const double bottom = std::min(b.y, w.maxY());
  if (right <= left || bottom <= top) return view.convertToWindow(view.bounds().center());
  return {(left + right) * 0.5, (top + bottom) * 0.5};
}

}  // namespace

bool Player::canTap(platform::View& view) {
  platform::Window* window = view.window();
  return window && lands(*window, view, visibleCenter(*window, view));
}

bool Player::tap(platform::View& view) {
  auto keep = view.shared_from_this();
  platform::Window* window = view.window();
  if (!window) {
    platform::log("player: cannot tap a view that is in no window");
    return false;
  }
  const platform::Point p = visibleCenter(*window, view);
  const bool onView = lands(*window, view, p);
  auto keepWindow = window->shared_from_this();
  window->sendTouch(platform::TouchPhase::Began, p);
  window->sendTouch(platform::TouchPhase::Ended, p);
  return onView;
}

bool Player::type(platform::TextField& field, const std::string& text) {
  auto keep = field.shared_from_this();
  tap(field);
  if (!field.isFirstResponder()) return false;
  // One character (UTF-8 sequence) at a time, as a keyboard sends them.
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t n = 1;
    while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
    field.insertText(text.substr(i, n));
    i += n;
  }
  return true;
}

void Player::backspace(platform::TextField& field, int count) {
  for (int k = 0; k < count; ++k) field.deleteBackward();
}

bool Player::drag(platform::View& view, platform::Point from, platform::Point to, bool cancelled) {
  auto keep = view.shared_from_this();
  platform::Window* window = view.window();
  if (!window) {
    platform::log("player: cannot drag a view that is in no window");
    return false;
  }
  auto keepWindow = window->shared_from_this();
  const bool onView = lands(*window, view, from);
  window->sendTouch(platform::TouchPhase::Began, from);
  for (int step = 1; step <= kDragSteps; ++step) {
    const double f = static_cast<double>(step) / kDragSteps;
    window->sendTouch(platform::TouchPhase::Moved, {from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f});
  }
  window->sendTouch(cancelled ? platform::TouchPhase::Cancelled : platform::TouchPhase::Ended, to);
  return onView;
}

bool Player::drag(platform::View& view, platform::Point to, bool cancelled) {
  platform::Window* window = view.window();
  if (!window) return drag(view, view.convertToWindow(view.bounds().center()), to, cancelled);
  return drag(view, visibleCenter(*window, view), to, cancelled);
}

void Player::rotate(std::int64_t orientation) { platform::Application::shared().setStatusBarOrientation(orientation); }

void Player::becomeActive() { platform::Application::shared().becomeActive(); }

}  // namespace tolba::player
