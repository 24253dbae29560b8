#pragma once
// A window: the root of a view tree, placed on the screen. Its root view (the
// root view controller's view) fills it. A window is hidden until shown; the
// application keeps the windows it knows about (application.h).
//
// Touches enter here: sendTouch() routes one finger to the view under it and
// to the gesture recognisers of that view and its ancestors.

#include <memory>
#include <vector>

#include "toolkit/view.h"

namespace tolba::platform {

class GestureRecognizer;

class Window : public View {
 public:
  explicit Window(Rect frame = {});
  ~Window() override;

  Window* window() const override { return const_cast<Window*>(this); }

  // The view that fills the window; replacing it removes the old one.
  const std::shared_ptr<View>& rootView() const { return rootView_; }
  void setRootView(std::shared_ptr<View> view);
  void setFrame(Rect frame) override;

  const EdgeInsets& safeAreaInsets() const { return safeAreaInsets_; }
  void setSafeAreaInsets(EdgeInsets insets) { safeAreaInsets_ = insets; }

  // Registers the window with the application, shows it and makes it key.
  void makeKeyAndVisible();
  bool isKeyWindow() const;

  // One finger, in window coordinates. Began picks the touched view by hit
  // testing; the other phases go to the same view and recognisers.
  void sendTouch(TouchPhase phase, Point location);

 private:
  std::shared_ptr<View> rootView_;
  EdgeInsets safeAreaInsets_;
  // The touch in progress.
  std::weak_ptr<View> touchView_;
  std::vector<std::weak_ptr<GestureRecognizer>> touchRecognizers_;
  bool touchTaken_ = false;  // a recogniser took the touch from the view
};

}  // namespace tolba::platform
