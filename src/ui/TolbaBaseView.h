#pragma once
// Base of the SDK's modal panels: a full-screen backdrop that takes every touch,
// holding one centred white rounded content box (subContentView) that the
// subclass fills. The box is sized by two pairs of sizes (landscape _h, portrait
// _v): 1.0 x 1.0 is the whole screen, a value above 1.0 means points, otherwise
// both are fractions of the screen. When the status-bar orientation changes the
// panel takes the new screen, throws the box away and builds a new one, which
// the subclass refills in initSubContentViews().
//
// The screen changing size without turning (a resized game window) rebuilds the
// same way. While the keyboard is up over the focused field of the panel, the
// content box moves up to keep the field in view, and back when it goes down.
//
// Every panel is set up one way: presentInKeyWindow<Panel>() (or create<Panel>()
// for one shown elsewhere) runs the base's initWithFrame(), which builds the box
// (300 x 300 points unless the panel set other sizes first) and has the panel
// fill it (fillContentBox()); a rebuild refills the new box the same way
// (initSubContentViews(), which a panel overrides only to restore more).

#include <cstdint>
#include <functional>
#include <memory>

#include "tolba/platform/notification_center.h"
#include "toolkit/geometry.h"
#include "toolkit/view.h"

namespace tolba::platform {
class Window;
}

namespace tolba {

class TolbaBaseView : public platform::View {
 public:
  TolbaBaseView() = default;
  ~TolbaBaseView() override;

  // Makes a panel and runs its initWithFrame(); null if that fails.
  template <class Panel>
  static std::shared_ptr<Panel> create(platform::Rect frame) {
    auto panel = std::make_shared<Panel>();
    if (!panel->initWithFrame(frame)) return nullptr;
    return panel;
  }

  // Makes a full-screen panel, lets `prepare` give it what it needs, and shows
  // it in the key window; null, with a log line naming `what`, when there is no
  // key window.
  template <class Panel>
  static std::shared_ptr<Panel> presentInKeyWindow(const char* what, const std::function<void(Panel&)>& prepare = {}) {
    auto key = keyWindowFor(what);
    if (!key) return nullptr;
    auto panel = create<Panel>(screenFrame());
    if (!panel) return nullptr;
    if (prepare) prepare(*panel);
    addToWindow(*key, panel);
    return panel;
  }

  // The side of the panels' square content box, in points.
  static constexpr double kPanelSide = 300;

  // A weak reference to this panel as its own class, for control actions and
  // blocks that must not keep the panel alive:
  //   button->addTarget(ControlEvent::TouchUpInside, [weak = weakSelf<TolbaLoginView>()](Control&) {
  //     if (auto self = weak.lock()) self->loginAction();
  //   });
  template <class Panel>
  std::weak_ptr<Panel> weakSelf() {
    return std::static_pointer_cast<Panel>(shared_from_this());
  }

  // The application's key window for a panel to be shown in; null, with a log
  // line naming `panel`, when there is none.
  static std::shared_ptr<platform::Window> keyWindowFor(const char* panel);
  // The frame of a full-screen panel: the main screen's bounds at (0, 0).
  static platform::Rect screenFrame();

  // Takes the frame, starts listening for orientation changes, builds the first
  // content box (kPanelSide square when no size was set) and fills it.
  virtual bool initWithFrame(platform::Rect frame);
  // Builds a new content box by the size rule and adds it on top of the panel.
  // Does not remove the old one.
  void initContentView();
  // Refills a new content box after a rebuild: fillContentBox().
  virtual void initSubContentViews() { fillContentBox(); }
  // The panel's controls, in a new content box.
  virtual void fillContentBox() {}
  // The rotation filter: rebuilds for a new valid orientation only.
  void statusBarOrientationChange(const platform::Notification& notification);
  // A resized screen: rebuilds when the panel no longer covers it.
  void screenBoundsChange(const platform::Notification& notification);
  // The keyboard comes up (or focus moved) / goes down.
  void keyboardWillShow(const platform::Notification& notification);
  void keyboardWillHide(const platform::Notification& notification);
  // How far the content box is raised above its place for the keyboard.
  double keyboardLift() const { return keyboardLift_; }

  const std::shared_ptr<platform::View>& subContentView() const { return subContentView_; }
  void setSubContentView(std::shared_ptr<platform::View> view) { subContentView_ = std::move(view); }
  double subViewW_h() const { return subViewW_h_; }
  void setSubViewW_h(double v) { subViewW_h_ = v; }
  double subViewH_h() const { return subViewH_h_; }
  void setSubViewH_h(double v) { subViewH_h_ = v; }
  double subViewW_v() const { return subViewW_v_; }
  void setSubViewW_v(double v) { subViewW_v_ = v; }
  double subViewH_v() const { return subViewH_v_; }
  void setSubViewH_v(double v) { subViewH_v_ = v; }
  // All four sizes at once: a `side` x `side` point box in both orientations.
  void setSquareContentSize(double side) { subViewW_h_ = subViewH_h_ = subViewW_v_ = subViewH_v_ = side; }
  // 0: the landscape pair was used last; 1: the portrait pair.
  std::uint64_t curDirection() const { return curDirection_; }
  void setCurDirection(std::uint64_t d) { curDirection_ = d; }
  std::int64_t currentOrientation() const { return currentOrientation_; }

  // The content box frame for a panel frame, a screen and a size pair.
  static platform::Rect contentFrame(double w, double h, platform::Rect screen);

 private:
  static void addToWindow(platform::Window& window, const std::shared_ptr<platform::View>& panel);
  // Takes the screen, then a new box, refilled by the subclass.
  void rebuild();
  void liftContent(double lift, double duration);
  std::int64_t currentOrientation_ = 0;
  std::shared_ptr<platform::View> subContentView_;
  double subViewW_h_ = 0;
  double subViewH_h_ = 0;
  double subViewW_v_ = 0;
  double subViewH_v_ = 0;
  std::uint64_t curDirection_ = 0;
  platform::ScopedObserver orientationObserver_;
  platform::ScopedObserver screenObserver_;
  platform::ScopedObserver keyboardShowObserver_;
  platform::ScopedObserver keyboardHideObserver_;
  double keyboardLift_ = 0;
};

}  // namespace tolba
