#include "tolba/TolbaHost.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "platform/main_thread_check.h"
#include "platform/utf8.h"
#include "tolba/platform/log.h"
#include "toolkit/application.h"
#include "toolkit/button.h"
#include "toolkit/display.h"
#include "toolkit/keyboard.h"
#include "toolkit/label.h"
#include "toolkit/screen_damage.h"
#include "toolkit/switch.h"
#include "toolkit/text_field.h"
#include "toolkit/text_measurer.h"
#include "toolkit/web_view.h"
#include "toolkit/window.h"
#include "ui/TolbaFloatView.h"

namespace tolba {

using platform::Application;
using platform::Point;
using platform::Rect;
using platform::TextField;
using platform::View;
using platform::Window;

namespace {

// A finger that went down on the SDK's layer: it belongs to the SDK until it
// ends. The toolkit's windows follow one finger at a time; further fingers on
// the layer are taken (the game must not see them) but go nowhere.
struct Finger {
  std::weak_ptr<Window> window;
  bool delivered = false;
};

struct HostState {
  std::map<std::int64_t, Finger> fingers;
  std::optional<std::int64_t> deliveredFinger;
  // hasContent() is worked out again only when the screen changed.
  std::uint64_t contentGeneration = 0;
  bool content = false;
};

HostState& state() {
  static auto* s = new HostState();  // lives as long as the process, like the host
  return *s;
}

bool validOrientation(TolbaOrientation o) {
  const auto v = static_cast<std::int32_t>(o);
  return v >= 1 && v <= 4;
}

// The SDK needs a key window to show its panels in; a game that hosts the SDK
// has none of the toolkit's, so the SDK's layer is one: a transparent window
// over the whole screen with an empty root view (the floating button's home).
std::shared_ptr<Window> ensureKeyWindow() {
  auto& app = Application::shared();
  if (auto key = app.keyWindow()) return key;
  auto window = std::make_shared<Window>(app.mainScreenBounds());
  window->setRootView(std::make_shared<View>());
  window->setSafeAreaInsets(app.safeAreaInsets());
  window->makeKeyAndVisible();
  return window;
}

// Valid UTF-8 without control characters (a one-line field takes none).
bool acceptableText(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto d = platform::utf8::decode(s, i);
    if (!d.valid || d.codePoint < 0x20 || d.codePoint == 0x7F) return false;
    i += d.length;
  }
  return true;
}

// Whether a window shows anything beyond itself and its (empty) root view.
bool windowHasContent(const Window& window) {
  if (window.isHidden()) return false;
  for (const auto& sub : window.subviews()) {
    if (sub->isHidden()) continue;
    if (sub != window.rootView()) return true;
    for (const auto& inner : sub->subviews()) {
      if (!inner->isHidden()) return true;
    }
  }
  return false;
}

// A view that hides everything behind it from the player: a modal backdrop.
bool coversWindow(const View& v, const Window& window) {
  const auto& bg = v.backgroundColor();
  if (!bg || bg->alpha <= 0 || !v.isUserInteractionEnabled()) return false;
  const Point o = v.convertToWindow({0, 0});
  const Rect w = window.bounds();
  return o.x <= 0 && o.y <= 0 && o.x + v.frame().width() >= w.width() && o.y + v.frame().height() >= w.height();
}

std::optional<TolbaElement> elementFor(const View& v) {
  TolbaElement e;
  if (const auto* button = dynamic_cast<const platform::Button*>(&v)) {
    e.kind = "button";
    e.text = button->currentTitle();
  } else if (const auto* field = dynamic_cast<const TextField*>(&v)) {
    e.kind = "field";
    if (field->text().empty() && field->markedText().empty()) {
      e.text = field->placeholder();
    } else if (field->isSecureTextEntry()) {
      for (std::size_t k = platform::utf8::length(field->text()); k > 0; --k) e.text += "\u2022";
      e.text += field->markedText();
    } else {
      e.text = field->text() + field->markedText();
    }
    e.focused = field->isFirstResponder();
  } else if (const auto* sw = dynamic_cast<const platform::Switch*>(&v)) {
    e.kind = "switch";
    e.on = sw->isOn();
  } else if (const auto* web = dynamic_cast<const platform::WebView*>(&v)) {
    e.kind = "web";
    e.text = web->url().value_or("");
  } else if (const auto* label = dynamic_cast<const platform::Label*>(&v)) {
    if (dynamic_cast<const platform::Button*>(v.superview())) return std::nullopt;  // a button's title
    e.kind = "label";
    e.text = label->text();
  } else {
    return std::nullopt;
  }
  return e;
}

// Collects the controls of `v`'s subtree, front to back. Answers whether `v`
// hides what lies behind it.
bool collect(const View& v, const Window& window, const Rect& screen, std::vector<TolbaElement>& out) {
  if (v.isHidden() || v.presentationAlpha() <= 0.01) return false;
  if (auto e = elementFor(v)) {
    const Point o = v.convertToWindow({0, 0});
    e->x = o.x + window.frame().x();
    e->y = o.y + window.frame().y();
    e->width = v.frame().width();
    e->height = v.frame().height();
    const bool onScreen =
        e->x < screen.maxX() && e->y < screen.maxY() && e->x + e->width > screen.x() && e->y + e->height > screen.y();
    if (onScreen) out.push_back(std::move(*e));
  }
  if (dynamic_cast<const platform::Button*>(&v)) return false;
  const auto& subs = v.subviews();
  for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
    if (collect(**it, window, screen, out)) return true;
  }
  return &v != &window && coversWindow(v, window);
}

}  // namespace

TolbaHost::TolbaHost() = default;

TolbaHost& TolbaHost::shared() {
  static auto* host = new TolbaHost();  // never destroyed
  return *host;
}

// --- Screen ------------------------------------------------------------------------

void TolbaHost::setScreen(const TolbaScreen& s) {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  auto& app = Application::shared();
  if (!(std::isfinite(s.width) && std::isfinite(s.height) && s.width > 0 && s.height > 0)) {
    platform::log("TolbaHost: ignored a screen of " + std::to_string(s.width) + " x " + std::to_string(s.height));
    return;
  }
  const double scaleBefore = app.screenScale();
  const platform::EdgeInsets insetsBefore = app.safeAreaInsets();
  const std::int64_t orientationBefore = app.statusBarOrientation();
  if (std::isfinite(s.scale) && s.scale > 0) {
    app.setScreenScale(s.scale);
    platform::warmUpFonts(s.scale);
  } else {
    platform::log("TolbaHost: ignored a screen scale of " + std::to_string(s.scale));
  }
  const platform::EdgeInsets insets{std::max(0.0, s.safeArea.top), std::max(0.0, s.safeArea.left),
                                    std::max(0.0, s.safeArea.bottom), std::max(0.0, s.safeArea.right)};
  app.setSafeAreaInsets(insets);
  const Rect before = app.mainScreenBounds();
  if (validOrientation(s.orientation)) {
    // Turning first: the panels rebuild for the new orientation at the next
    // tick, on the size set just below.
    app.setStatusBarOrientation(static_cast<std::int64_t>(s.orientation));
  } else {
    platform::log("TolbaHost: ignored an unknown orientation " + std::to_string(static_cast<int>(s.orientation)));
  }
  app.resizeScreen({0, 0, s.width, s.height});
  auto key = ensureKeyWindow();
  key->setSafeAreaInsets(insets);
  platform::Keyboard::shared().screenDidChange();
  // The floating button keeps to its edge of the new screen (a button parked at
  // the right edge of a wider screen would otherwise be out of reach).
  if (auto button = TolbaFloatView::existingInstance(); button && before != app.mainScreenBounds()) {
    button->keepOnScreen(before);
  }
  // A new size redraws everything already (the application does); a new scale
  // or safe area lays the same points out on other pixels.
  const bool changed = app.screenScale() != scaleBefore || app.safeAreaInsets() != insetsBefore ||
                       app.statusBarOrientation() != orientationBefore || app.mainScreenBounds() != before;
  if (changed) platform::setNeedsDisplay();
}

TolbaScreen TolbaHost::screen() const {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  const auto& app = Application::shared();
  TolbaScreen s;
  const Rect bounds = app.mainScreenBounds();
  s.width = bounds.width();
  s.height = bounds.height();
  s.scale = app.screenScale();
  const auto insets = app.safeAreaInsets();
  s.safeArea = {insets.top, insets.left, insets.bottom, insets.right};
  const auto o = static_cast<TolbaOrientation>(app.statusBarOrientation());
  s.orientation = validOrientation(o) ? o : TolbaOrientation::Portrait;
  return s;
}

// --- Input -------------------------------------------------------------------------

bool TolbaHost::touch(std::int64_t fingerId, TolbaTouchPhase phase, double x, double y) {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  auto& st = state();
  if (!std::isfinite(x) || !std::isfinite(y)) {
    platform::log("TolbaHost: ignored a touch at a position that is not a number");
    return st.fingers.count(fingerId) > 0;
  }
  auto toolkitPhase = [](TolbaTouchPhase p) {
    switch (p) {
      case TolbaTouchPhase::Began: return platform::TouchPhase::Began;
      case TolbaTouchPhase::Moved: return platform::TouchPhase::Moved;
      case TolbaTouchPhase::Ended: return platform::TouchPhase::Ended;
      case TolbaTouchPhase::Cancelled: break;
    }
    return platform::TouchPhase::Cancelled;
  };
  auto send = [&](const Finger& f, platform::TouchPhase p) {
    if (!f.delivered) return;
    if (auto w = f.window.lock()) w->sendTouch(p, {x - w->frame().x(), y - w->frame().y()});
  };

  if (phase == TolbaTouchPhase::Began) {
    if (auto old = st.fingers.find(fingerId); old != st.fingers.end()) {
      // The game lost this finger's end: the old touch is over.
      const Finger f = old->second;
      st.fingers.erase(old);
      if (f.delivered) st.deliveredFinger.reset();
      send(f, platform::TouchPhase::Cancelled);
    }
    const auto windows = Application::shared().windows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
      const auto& w = *it;
      if (w->isHidden()) continue;
      const Point local{x - w->frame().x(), y - w->frame().y()};
      View* hit = w->hitTest(local);
      // The window and its bare root view are not the SDK's content: the
      // touch goes on to whatever lies behind, in the end the game.
      if (!hit || hit == w.get() || hit == w->rootView().get()) continue;
      Finger f{w, !st.deliveredFinger.has_value()};
      st.fingers[fingerId] = f;
      if (f.delivered) {
        st.deliveredFinger = fingerId;
        w->sendTouch(platform::TouchPhase::Began, local);
      }
      return true;
    }
    return false;
  }

  auto it = st.fingers.find(fingerId);
  if (it == st.fingers.end()) return false;
  const Finger f = it->second;
  if (phase == TolbaTouchPhase::Ended || phase == TolbaTouchPhase::Cancelled) {
    st.fingers.erase(it);
    if (f.delivered) st.deliveredFinger.reset();
  }
  send(f, toolkitPhase(phase));
  return true;
}

bool TolbaHost::textInput(const std::string& utf8) {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  auto field = TextField::focusedField();
  if (!field) return false;
  if (!acceptableText(utf8)) {
    platform::log("TolbaHost: dropped typed text that is not printable UTF-8 (" + std::to_string(utf8.size()) +
                  " bytes)");
    return true;
  }
  field->commitText(utf8);
  return true;
}

bool TolbaHost::textEditing(const std::string& preeditUtf8, std::int32_t cursor) {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  auto field = TextField::focusedField();
  if (!field) return false;
  if (!acceptableText(preeditUtf8)) {
    platform::log("TolbaHost: dropped a composition that is not printable UTF-8 (" +
                  std::to_string(preeditUtf8.size()) + " bytes)");
    return true;
  }
  const auto length = static_cast<std::int32_t>(platform::utf8::length(preeditUtf8));
  field->setMarkedText(preeditUtf8, std::clamp(cursor, 0, length));
  return true;
}

bool TolbaHost::key(TolbaKey key) {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  auto field = TextField::focusedField();
  if (!field) return false;
  switch (key) {
    case TolbaKey::Backspace:
      // While composing, the input method edits its own text.
      if (field->markedText().empty()) field->deleteBackward();
      return true;
    case TolbaKey::Return: field->returnKey(); return true;
    case TolbaKey::Tab:
      if (auto next = field->nextField(true)) next->becomeFirstResponder();
      return true;
    case TolbaKey::Escape: field->resignFirstResponder(); return true;
  }
  return false;
}

bool TolbaHost::wantsTextInput() const {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  return TextField::focusedField() != nullptr;
}

// --- Drawing -----------------------------------------------------------------------

bool TolbaHost::hasContent() const {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  auto& st = state();
  const auto generation = platform::displayGeneration();
  if (generation != st.contentGeneration) {
    st.contentGeneration = generation;
    st.content = false;
    for (const auto& w : Application::shared().windows()) {
      if (windowHasContent(*w)) {
        st.content = true;
        break;
      }
    }
  }
  return st.content;
}

bool TolbaHost::needsRedraw() const {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  return platform::needsDisplay() || platform::animationNeedsDisplay();
}

TolbaPixelRect TolbaHost::dirtyRect() const {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  if (!needsRedraw()) return {};
  const auto box =
      platform::boundingRect(platform::screenDamage(platform::RunLoop::main().now())
                                 .pixels(Application::shared().screenScale(), pixelWidth(), pixelHeight()));
  return {box.x, box.y, box.width, box.height};
}

void TolbaHost::redrawAll() {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  platform::setNeedsDisplay();
}

std::int32_t TolbaHost::pixelWidth() const {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  const auto& app = Application::shared();
  return static_cast<std::int32_t>(std::ceil(app.mainScreenBounds().width() * app.screenScale() - 1e-9));
}

std::int32_t TolbaHost::pixelHeight() const {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  const auto& app = Application::shared();
  return static_cast<std::int32_t>(std::ceil(app.mainScreenBounds().height() * app.screenScale() - 1e-9));
}

std::vector<TolbaElement> TolbaHost::elements() const {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  std::vector<TolbaElement> out;
  const auto& app = Application::shared();
  const Rect screen = app.mainScreenBounds();
  const auto windows = app.windows();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    if ((*it)->isHidden()) continue;
    if (collect(**it, **it, screen, out)) break;
  }
  return out;
}

// --- Application events ------------------------------------------------------------

void TolbaHost::didBecomeActive() {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  Application::shared().becomeActive();
}

void TolbaHost::didEnterBackground() {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  Application::shared().enterBackground();
}

void TolbaHost::setOpenURLHandler(std::function<bool(const std::string& url)> handler) {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  Application::shared().setFallbackURLHandler(std::move(handler));
}

void TolbaHost::didDraw() {
  TOLBA_DCHECK_MAIN_THREAD("TolbaHost");
  platform::didDisplay();
}

}  // namespace tolba
