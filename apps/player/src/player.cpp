#include "tolba/player/player.h"

#include <memory>

#include "tolba/platform/application.h"
#include "tolba/platform/log.h"
#include "tolba/platform/text_field.h"
#include "tolba/platform/view.h"
#include "tolba/platform/window.h"

namespace tolba::player {
namespace {

constexpr int kDragSteps = 8;

// Whether a finger at `p` in `window` lands on `view` or inside it.
bool lands(platform::Window& window, platform::View& view, platform::Point p) {
  platform::View* hit = window.hitTest(p);
  return hit && hit->isDescendantOf(&view);
}

}  // namespace

bool Player::tap(platform::View& view) {
  auto keep = view.shared_from_this();
  platform::Window* window = view.window();
  if (!window) {
    platform::log("player: cannot tap a view that is in no window");
    return false;
  }
  const platform::Point p = view.convertToWindow(view.bounds().center());
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
  return drag(view, view.convertToWindow(view.bounds().center()), to, cancelled);
}

void Player::rotate(std::int64_t orientation) { platform::Application::shared().setStatusBarOrientation(orientation); }

void Player::becomeActive() { platform::Application::shared().becomeActive(); }

}  // namespace tolba::player
