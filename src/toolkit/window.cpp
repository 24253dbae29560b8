#include "toolkit/window.h"

#include "toolkit/application.h"
#include "toolkit/gesture_recognizer.h"

namespace tolba::platform {

Window::Window(Rect frame) : View(frame) { setHidden(true); }

Window::~Window() = default;

void Window::setRootView(std::shared_ptr<View> view) {
  if (rootView_ == view) return;
  if (rootView_) rootView_->removeFromSuperview();
  rootView_ = std::move(view);
  if (rootView_) {
    rootView_->setFrame(bounds());
    insertSubview(rootView_, 0);
  }
}

void Window::setFrame(Rect frame) {
  View::setFrame(frame);
  if (rootView_) rootView_->setFrame(bounds());
}

void Window::makeKeyAndVisible() {
  auto self = std::static_pointer_cast<Window>(shared_from_this());
  auto& app = Application::shared();
  app.addWindow(self);
  app.setKeyWindow(self);
  setHidden(false);
}

bool Window::isKeyWindow() const { return Application::shared().keyWindow().get() == this; }

void Window::sendTouch(TouchPhase phase, Point location) {
  const Touch touch{location, this};
  if (phase == TouchPhase::Began) {
    touchRecognizers_.clear();
    touchTaken_ = false;
    View* hit = hitTest(location);
    touchView_ = hit ? hit->weak_from_this() : std::weak_ptr<View>();
    for (View* v = hit; v; v = v->superview()) {
      for (const auto& r : v->gestureRecognizers()) touchRecognizers_.push_back(r);
    }
  }
  auto view = touchView_.lock();
  // Recognisers first, innermost first; once one recognises the gesture the
  // view's touch is cancelled and it hears no more of it.
  for (const auto& weak : std::vector(touchRecognizers_)) {
    auto r = weak.lock();
    if (!r || !r->view()) continue;
    switch (phase) {
      case TouchPhase::Began: r->touchBegan(touch); break;
      case TouchPhase::Moved: r->touchMoved(touch); break;
      case TouchPhase::Ended: r->touchEnded(touch); break;
      case TouchPhase::Cancelled: r->touchCancelled(touch); break;
    }
    if (phase == TouchPhase::Moved && r->isRecognizing() && !touchTaken_) {
      touchTaken_ = true;
      if (view) view->touchesCancelled(touch);
    }
  }
  if (view && !touchTaken_) {
    switch (phase) {
      case TouchPhase::Began: view->touchesBegan(touch); break;
      case TouchPhase::Moved: view->touchesMoved(touch); break;
      case TouchPhase::Ended: view->touchesEnded(touch); break;
      case TouchPhase::Cancelled: view->touchesCancelled(touch); break;
    }
  }
  if (phase == TouchPhase::Ended || phase == TouchPhase::Cancelled) {
    touchView_.reset();
    touchRecognizers_.clear();
    touchTaken_ = false;
  }
}

}  // namespace tolba::platform
