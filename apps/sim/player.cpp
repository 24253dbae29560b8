#include "player.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "simulator.h"
#include "tolba/TolbaHost.h"
#include "tolba/platform/value.h"

namespace tolba::sim {
namespace {

// Longest wait for one step (a server round trip or two, a panel opening).
constexpr double kStepTimeout = 20;
// The cursor's speed at speed 1, in points per second, and its shortest move.
constexpr double kCursorSpeed = 700;
constexpr double kShortestMove = 0.15;
constexpr double kPressSeconds = 0.08;
constexpr double kAfterTapSeconds = 0.25;
constexpr double kPerCharacterSeconds = 0.07;

bool matches(const TolbaElement& element, const Target& target) {
  if (element.kind != target.elementKind) return false;
  return target.text.empty() || element.text == target.text;
}

bool containsText(const TolbaElement& element, const Target& target) {
  return element.kind == target.elementKind && !target.text.empty() &&
         element.text.find(target.text) != std::string::npos;
}

std::optional<TolbaElement> findElement(const Target& target) {
  const auto elements = TolbaHost::shared().elements();
  for (const auto& e : elements) {
    if (matches(e, target)) return e;
  }
  for (const auto& e : elements) {
    if (containsText(e, target)) return e;
  }
  return std::nullopt;
}

// UTF-8 characters of `text`, one string each.
std::vector<std::string> characters(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = 1;
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0xF0) {
      n = 4;
    } else if (c >= 0xE0) {
      n = 3;
    } else if (c >= 0xC0) {
      n = 2;
    }
    out.push_back(text.substr(i, n));
    i += n;
  }
  return out;
}

}  // namespace

std::string shownText(const TolbaElement& element) {
  // A field shows its placeholder (all of them ask "请输入...") or what was typed.
  if (element.kind != "field" || element.text.rfind("请输入", 0) == 0) return element.text;
  return "(" + std::to_string(characters(element.text).size()) + " characters)";
}

std::string Target::describe() const {
  switch (kind) {
    case Kind::Element: return elementKind + (text.empty() ? "" : " \"" + text + "\"");
    case Kind::Scene: return "the game's \"" + text + "\" button";
    case Kind::Sheet: return "WeChat's \"" + text + "\" button";
    case Kind::Point:
      return "the point " + std::to_string(static_cast<int>(point.x)) + "," + std::to_string(static_cast<int>(point.y));
  }
  return "?";
}

Player::Player(Simulator& sim, double speed) : sim_(sim), speed_(speed) {}

void Player::load(std::vector<Step> steps) {
  steps_ = std::move(steps);
  index_ = 0;
  finished_ = steps_.empty();
  failed_ = false;
  phase_ = Phase::Start;
}

void Player::mark() {
  heardMark_ = sim_.game().heard().size();
  trafficMark_ = sim_.traffic().size();
}

void Player::fail(const std::string& text) {
  sim_.console().failure(text);
  failed_ = true;
  finished_ = true;
  pressing_ = false;
}

void Player::update(double now) {
  if (finished_) return;
  if (phase_ == Phase::Start && stepStart_ == 0) stepStart_ = now;
  if (run(steps_[index_], now)) {
    ++index_;
    phase_ = Phase::Start;
    stepStart_ = 0;
    if (index_ >= steps_.size()) finished_ = true;
    return;
  }
  if (!finished_ && now - stepStart_ > kStepTimeout) {
    const auto& step = steps_[index_];
    std::string what = step.what;
    if (what.empty()) {
      switch (step.type) {
        case Step::Type::WaitNotification: what = "the game receiving " + step.text; break;
        case Step::Type::WaitReply: what = "a reply to " + step.text; break;
        case Step::Type::WaitGone: what = step.target.describe() + " going away"; break;
        case Step::Type::Type: what = "a focused field to type into"; break;
        default: what = step.target.describe() + " appearing"; break;
      }
    }
    fail(what + " did not happen within " + std::to_string(static_cast<int>(kStepTimeout)) + " s");
  }
}

std::optional<Point> Player::locate(const Target& target) const {
  const auto& screen = sim_.screen();
  switch (target.kind) {
    case Target::Kind::Point: return target.point;
    case Target::Kind::Scene: {
      if (sim_.sheet().visible()) return std::nullopt;
      const auto* b = sim_.scene().button(target.text);
      if (!b) return std::nullopt;
      return Point{b->x + b->width / 2, b->y + b->height / 2};
    }
    case Target::Kind::Sheet: {
      if (!sim_.sheet().visible() || sim_.sheet().busy()) return std::nullopt;
      const auto box = target.text == "cancel" ? sim_.sheet().cancelButton(screen) : sim_.sheet().payButton(screen);
      return Point{box.x + box.width / 2, box.y + box.height / 2};
    }
    case Target::Kind::Element: {
      if (sim_.sheet().visible()) return std::nullopt;
      const auto e = findElement(target);
      if (!e) return std::nullopt;
      // The middle of the part that is on the screen (a parked floating button
      // is half off it).
      const double left = std::max(0.0, e->x), right = std::min(screen.width, e->x + e->width);
      const double top = std::max(0.0, e->y), bottom = std::min(screen.height, e->y + e->height);
      if (right <= left || bottom <= top) return std::nullopt;
      return Point{(left + right) / 2, (top + bottom) / 2};
    }
  }
  return std::nullopt;
}

bool Player::moveTowards(Point goal, double now, bool pressed) {
  if (!cursor_) cursor_ = Point{sim_.screen().width / 2, sim_.screen().height * 0.9};
  if (phase_ != Phase::Moving || goal.x != goal_.x || goal.y != goal_.y) {
    phase_ = Phase::Moving;
    phaseStart_ = now;
    moveFrom_ = *cursor_;
    goal_ = goal;
  }
  const double distance = std::hypot(goal.x - moveFrom_.x, goal.y - moveFrom_.y);
  const double duration = std::max(kShortestMove, distance / kCursorSpeed) / speed_;
  const double t = std::min(1.0, (now - phaseStart_) / duration);
  const double eased = t * t * (3 - 2 * t);
  cursor_ = Point{moveFrom_.x + (goal.x - moveFrom_.x) * eased, moveFrom_.y + (goal.y - moveFrom_.y) * eased};
  pushMotion(*cursor_, pressed);
  return t >= 1;
}

void Player::pushMotion(Point p, bool pressed) {
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = sim_.windowId();
  e.motion.state = pressed ? SDL_BUTTON_LMASK : 0;
  e.motion.x = static_cast<int>(std::lround(p.x * sim_.pixelsPerPoint()));
  e.motion.y = static_cast<int>(std::lround(p.y * sim_.pixelsPerPoint()));
  SDL_PushEvent(&e);
}

void Player::pushButton(Point p, bool down) {
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.windowID = sim_.windowId();
  e.button.button = SDL_BUTTON_LEFT;
  e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.button.clicks = 1;
  e.button.x = static_cast<int>(std::lround(p.x * sim_.pixelsPerPoint()));
  e.button.y = static_cast<int>(std::lround(p.y * sim_.pixelsPerPoint()));
  SDL_PushEvent(&e);
  pressing_ = down;
}

void Player::pushText(const std::string& utf8) {
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = SDL_TEXTINPUT;
  e.text.windowID = sim_.windowId();
  std::strncpy(e.text.text, utf8.c_str(), sizeof e.text.text - 1);
  SDL_PushEvent(&e);
}

bool Player::pushKey(const std::string& name) {
  SDL_Keycode code = SDLK_UNKNOWN;
  if (name == "return") code = SDLK_RETURN;
  if (name == "backspace") code = SDLK_BACKSPACE;
  if (name == "tab") code = SDLK_TAB;
  if (name == "escape") code = SDLK_ESCAPE;
  if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z') code = name[0];
  if (code == SDLK_UNKNOWN) return false;
  for (const bool down : {true, false}) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = sim_.windowId();
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = code;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(code);
    SDL_PushEvent(&e);
  }
  return true;
}

bool Player::run(Step& step, double now) {
  auto& console = sim_.console();
  switch (step.type) {
    case Step::Type::Section:
      console.section(step.text);
      mark();
      return true;
    case Step::Type::Do:
      if (step.action) step.action();
      return true;
    case Step::Type::Pause:
      if (phase_ == Phase::Start) {
        phase_ = Phase::Released;
        phaseStart_ = now;
      }
      return now - phaseStart_ >= step.seconds / speed_;
    case Step::Type::Screenshot:
      // Once the SDK's layer has settled (an opening animation, a fading
      // toast), or after a second.
      if (!sim_.takesScreenshots()) return true;
      if (phase_ == Phase::Start) {
        if (TolbaHost::shared().needsRedraw() && now - stepStart_ < 1.0) return false;
        sim_.screenshot(step.text);
        phase_ = Phase::Released;
        return false;
      }
      return !sim_.screenshotPending();
    case Step::Type::WaitElement: return locate(step.target).has_value();
    case Step::Type::WaitGone: return !locate(step.target).has_value();
    case Step::Type::WaitUntil: return step.condition && step.condition();
    case Step::Type::WaitNotification: {
      const auto& heard = sim_.game().heard();
      consumed_.resize(heard.size(), false);
      for (std::size_t i = heardMark_; i < heard.size(); ++i) {
        if (consumed_[i] || heard[i].name != step.text) continue;
        consumed_[i] = true;
        const auto got = platform::intValue(platform::find(heard[i].payload, "error"));
        if (got != step.error) {
          fail(step.text + " came with error " + std::to_string(got) + ", expected " + std::to_string(step.error));
        }
        return !failed_;
      }
      return false;
    }
    case Step::Type::WaitReply: {
      const auto& traffic = sim_.traffic();
      for (std::size_t i = trafficMark_; i < traffic.size(); ++i) {
        if (traffic[i].path == step.text && traffic[i].kind != "request") return true;
      }
      return false;
    }
    case Step::Type::Key:
      console.action("presses " + step.text);
      if (!pushKey(step.text)) fail("no key \"" + step.text + "\"");
      return true;
    case Step::Type::Type: {
      if (phase_ == Phase::Start) {
        if (!TolbaHost::shared().wantsTextInput()) return false;
        // Only an account name is shown; passwords, names and identity card
        // numbers are not.
        std::optional<TolbaElement> focused;
        for (const auto& e : TolbaHost::shared().elements()) {
          if (e.kind == "field" && e.focused) focused = e;
        }
        if (focused && focused->text == "请输入账号") {
          console.action("types \"" + step.text + "\" into the account field");
        } else {
          console.action("types " + std::to_string(characters(step.text).size()) + " characters" +
                         (focused ? " into field \"" + shownText(*focused) + "\"" : std::string()));
        }
        phase_ = Phase::Typing;
        phaseStart_ = now;
        typed_ = 0;
      }
      const auto chars = characters(step.text);
      while (typed_ < chars.size() && now - phaseStart_ >= typed_ * kPerCharacterSeconds / speed_) {
        pushText(chars[typed_++]);
      }
      return typed_ >= chars.size();
    }
    case Step::Type::Tap:
    case Step::Type::Drag: {
      const bool drag = step.type == Step::Type::Drag;
      if (phase_ == Phase::Start || phase_ == Phase::Moving) {
        const auto where = locate(step.target);
        if (!where) return false;  // not on the screen yet
        if (phase_ == Phase::Start) {
          console.action((drag ? "drags " : "taps ") + step.target.describe());
        }
        if (!moveTowards(*where, now, false)) return false;
        pushButton(*where, true);
        phase_ = Phase::Pressed;
        phaseStart_ = now;
        moveFrom_ = *where;
        return false;
      }
      if (phase_ == Phase::Pressed) {
        if (drag) {
          const double duration = 0.5 / speed_;
          const double t = std::min(1.0, (now - phaseStart_) / duration);
          cursor_ = Point{moveFrom_.x + (step.to.x - moveFrom_.x) * t, moveFrom_.y + (step.to.y - moveFrom_.y) * t};
          pushMotion(*cursor_, true);
          if (t < 1) return false;
        } else if (now - phaseStart_ < kPressSeconds / speed_) {
          return false;
        }
        pushButton(*cursor_, false);
        phase_ = Phase::Released;
        phaseStart_ = now;
        return false;
      }
      return now - phaseStart_ >= kAfterTapSeconds / speed_;
    }
  }
  return true;
}

}  // namespace tolba::sim
