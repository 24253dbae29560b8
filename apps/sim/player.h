#pragma once
// The simulator's scripted player: plays a list of steps (taps, drags, typing,
// keys, waits, screenshots) frame by frame by pushing input events into the
// window's own SDL queue, so that every scripted input takes the same road as
// the mouse and the keyboard. A cursor marks where it is.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tolba/TolbaHost.h"

namespace tolba::sim {

class Simulator;

// An element's text for the console and files: a field's typed text is
// replaced by its length (it may be a password or an identity card number).
std::string shownText(const TolbaElement& element);

struct Point {
  double x = 0, y = 0;
};

// Where a tap goes: an SDK control found through TolbaHost::elements() (by kind
// and text: exact, else a part of it), a scene button by name, a button of the
// WeChat sheet, or a point on the screen.
struct Target {
  enum class Kind { Element, Scene, Sheet, Point };
  Kind kind = Kind::Point;
  std::string elementKind;  // "button", "field", "switch", ... (Element)
  std::string text;         // element text, scene button name, "pay" / "cancel"
  Point point;
  std::string describe() const;
};

struct Step {
  enum class Type {
    Section,           // text: a heading on the console
    Tap,               // target
    Drag,              // target (from) to `to`
    Type,              // text, into the focused field
    Key,               // text: "return", "backspace", "tab", "escape", "l"
    WaitElement,       // target (an Element) on the screen
    WaitGone,          // target (an Element) no longer on the screen
    WaitNotification,  // text: name; error: expected "error"
    WaitReply,         // text: endpoint path
    WaitUntil,         // condition
    Pause,             // seconds (at speed 1)
    Screenshot,        // text: file name without ".png"
    Do,                // action
  };
  Type type = Type::Pause;
  Target target;
  Point to;
  std::string text;
  long long error = 0;
  double seconds = 0;
  std::function<bool()> condition;
  std::function<void()> action;
  std::string what;  // what a WaitUntil waits for, for the failure message
};

class Player {
 public:
  Player(Simulator& sim, double speed);

  void load(std::vector<Step> steps);
  // Advances the current step; called once per frame before the events are read.
  void update(double now);
  bool finished() const { return finished_; }
  bool failed() const { return failed_; }

  // The cursor, for drawing: where it is, and whether it presses.
  std::optional<Point> cursor() const { return cursor_; }
  bool pressing() const { return pressing_; }
  // Marks the notifications and replies heard so far as old, so that waits
  // only see what comes next.
  void mark();

 private:
  enum class Phase { Start, Moving, Pressed, Released, Typing };
  bool run(Step& step, double now);  // true when the step is done
  void fail(const std::string& text);
  std::optional<Point> locate(const Target& target) const;
  bool moveTowards(Point goal, double now, bool pressed);
  void pushMotion(Point p, bool pressed);
  void pushButton(Point p, bool down);
  void pushText(const std::string& utf8);
  bool pushKey(const std::string& name);

  Simulator& sim_;
  double speed_;
  std::vector<Step> steps_;
  std::size_t index_ = 0;
  bool finished_ = true;
  bool failed_ = false;

  Phase phase_ = Phase::Start;
  double stepStart_ = 0;
  double phaseStart_ = 0;
  Point moveFrom_;
  Point goal_;
  std::size_t typed_ = 0;
  std::optional<Point> cursor_;
  bool pressing_ = false;
  std::size_t heardMark_ = 0;
  std::size_t trafficMark_ = 0;
  std::vector<bool> consumed_;
};

}  // namespace tolba::sim
