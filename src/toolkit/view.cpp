#include "toolkit/view.h"

#include <algorithm>

#include "animation_context.h"
#include "toolkit/animation.h"
#include "toolkit/display.h"
#include "toolkit/gesture_recognizer.h"
#include "toolkit/screen_damage.h"
#include "toolkit/text_field.h"
#include "toolkit/window.h"

namespace tolba::platform {

View::View(Rect frame) : frame_(frame) {}

View::~View() {
  for (auto& sub : subviews_) sub->superview_ = nullptr;
  for (auto& r : recognizers_) r->view_ = nullptr;
}

void View::setNeedsDisplay() const {
  // Where it was drawn is taken at its first change since the last display;
  // where it is drawn now, when the screen is drawn next.
  const std::uint64_t display = displayCount();
  if (changedAtDisplay_ != display && !pendingDamage().full() && damageView(*this)) changedAtDisplay_ = display;
  setNeedsDisplayIn({});
}

bool View::addedSinceLastDisplay() const { return superview_ && addedAtDisplay_ >= displayCount(); }

void View::setFrame(Rect frame) {
  const Point oldCenter = center();
  const Point oldPresented = presentationCenter();
  // Cancelling a move shows too: the view jumps to its model position.
  const bool shows = frame != frame_ || centerTrack_.has_value();
  if (shows) setNeedsDisplay();
  frame_ = frame;
  if (const auto* anim = detail::currentAnimation()) {
    if (center() != oldCenter) {
      centerTrack_ = Track<Point>{oldPresented, anim->start, anim->duration, anim->blocksInteraction, anim->curve};
    }
  } else {
    centerTrack_.reset();
  }
}

void View::setCenter(Point c) { setFrame({{c.x - frame_.width() * 0.5, c.y - frame_.height() * 0.5}, frame_.size}); }

void View::setAlpha(double alpha) {
  const double presented = presentationAlpha();
  const bool changed = alpha != alpha_;
  const bool shows = changed || alphaTrack_.has_value();
  if (shows) setNeedsDisplay();
  alpha_ = alpha;
  if (const auto* anim = detail::currentAnimation()) {
    if (changed)
      alphaTrack_ = Track<double>{presented, anim->start, anim->duration, anim->blocksInteraction, anim->curve};
  } else {
    alphaTrack_.reset();
  }
}

void View::setHidden(bool hidden) {
  if (hidden == hidden_) return;
  setNeedsDisplay();
  hidden_ = hidden;
}

void View::setOpaque(bool opaque) {
  if (opaque == opaque_) return;
  opaque_ = opaque;
  setNeedsDisplay();
}

void View::setBackgroundColor(std::optional<Color> color) {
  if (color == backgroundColor_) return;
  backgroundColor_ = color;
  setNeedsDisplay();
}

void View::setCornerRadius(double radius) {
  if (radius == cornerRadius_) return;
  cornerRadius_ = radius;
  setNeedsDisplay();
}

void View::setClipsToBounds(bool clips) {
  if (clips == clipsToBounds_) return;
  setNeedsDisplay();
  clipsToBounds_ = clips;
}

template <class T>
T View::interpolate(const Track<T>& track, const T& to, TimePoint now) {
  const double elapsed = (now - track.start).count();
  if (elapsed <= 0) return track.from;
  if (track.duration <= 0 || elapsed >= track.duration) return to;
  const double f = animationProgress(track.curve, elapsed / track.duration);
  if constexpr (std::is_same_v<T, Point>) {
    return {track.from.x + (to.x - track.from.x) * f, track.from.y + (to.y - track.from.y) * f};
  } else {
    return track.from + (to - track.from) * f;
  }
}

double View::presentationAlpha() const { return presentationAlphaAt(RunLoop::main().now()); }

Point View::presentationCenter() const { return presentationCenterAt(RunLoop::main().now()); }

double View::presentationAlphaAt(TimePoint at) const {
  return alphaTrack_ ? interpolate(*alphaTrack_, alpha_, at) : alpha_;
}

Point View::presentationCenterAt(TimePoint at) const {
  return centerTrack_ ? interpolate(*centerTrack_, center(), at) : center();
}

bool View::isAnimatingSince(TimePoint since) const {
  auto running = [&](const auto& t) { return t && (since - t->start).count() < t->duration; };
  return running(alphaTrack_) || running(centerTrack_);
}

bool View::isAnimating() const { return isAnimatingSince(RunLoop::main().now()); }

bool View::interactionBlockedByAnimation() const {
  const TimePoint now = RunLoop::main().now();
  auto blocks = [&](const auto& t) { return t && t->blocksInteraction && (now - t->start).count() < t->duration; };
  return blocks(alphaTrack_) || blocks(centerTrack_);
}

void View::addSubview(const std::shared_ptr<View>& view) { insertSubview(view, subviews_.size()); }

void View::insertSubview(const std::shared_ptr<View>& view, std::size_t index) {
  if (!view || view.get() == this || isDescendantOf(view.get())) return;
  // Removing it from its old superview may drop the last other owner.
  auto keep = view;  // NOLINT(performance-unnecessary-copy-initialization)
  if (view->superview_) {
    view->setNeedsDisplay();
    auto& old = view->superview_->subviews_;
    old.erase(std::remove(old.begin(), old.end(), view), old.end());
    view->superview_ = nullptr;
  }
  index = std::min(index, subviews_.size());
  subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), keep);
  keep->superview_ = this;
  keep->addedAtDisplay_ = displayCount();
  keep->setNeedsDisplay();
  keep->didMoveToSuperview();
}

void View::removeFromSuperview() {
  if (!superview_) return;
  auto self = shared_from_this();  // keeps this view alive until the call returns
  endEditing(true);
  setNeedsDisplay();
  auto& siblings = superview_->subviews_;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), self), siblings.end());
  superview_ = nullptr;
  didMoveToSuperview();
}

Window* View::window() const {
  const View* v = this;
  while (v->superview_) v = v->superview_;
  return dynamic_cast<Window*>(const_cast<View*>(v));
}

View* View::viewWithTag(std::int64_t tag) {
  if (tag_ == tag) return this;
  for (auto& sub : subviews_) {
    if (auto* found = sub->viewWithTag(tag)) return found;
  }
  return nullptr;
}

bool View::isDescendantOf(const View* ancestor) const {
  for (const View* v = this; v; v = v->superview_) {
    if (v == ancestor) return true;
  }
  return false;
}

Point View::convertToWindow(Point p) const {
  for (const View* v = this; v && v->superview_; v = v->superview_) {
    p.x += v->frame_.x();
    p.y += v->frame_.y();
  }
  return p;
}

Point View::convertFromWindow(Point p) const {
  const Point origin = convertToWindow({0, 0});
  return {p.x - origin.x, p.y - origin.y};
}

bool View::endEditing(bool /*force*/) {
  auto focused = TextField::focusedField();
  if (focused && focused->isDescendantOf(this)) return focused->resignFirstResponder();
  return true;
}

View* View::hitTest(Point p) {
  if (hidden_ || alpha_ <= 0.01 || !userInteractionEnabled_ || interactionBlockedByAnimation()) return nullptr;
  if (!pointInside(p)) return nullptr;
  for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
    auto& sub = *it;
    if (auto* hit = sub->hitTest({p.x - sub->frame_.x(), p.y - sub->frame_.y()})) return hit;
  }
  return this;
}

void View::touchesBegan(const Touch& touch) {
  if (superview_) superview_->touchesBegan(touch);
}

void View::touchesMoved(const Touch& touch) {
  if (superview_) superview_->touchesMoved(touch);
}

void View::touchesEnded(const Touch& touch) {
  if (superview_) superview_->touchesEnded(touch);
}

void View::touchesCancelled(const Touch& touch) {
  if (superview_) superview_->touchesCancelled(touch);
}

void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  if (!recognizer) return;
  if (recognizer->view_ && recognizer->view_ != this) recognizer->view_->removeGestureRecognizer(recognizer.get());
  if (std::find(recognizers_.begin(), recognizers_.end(), recognizer) == recognizers_.end()) {
    recognizers_.push_back(recognizer);
  }
  recognizer->view_ = this;
}

void View::removeGestureRecognizer(const GestureRecognizer* recognizer) {
  auto it =
      std::find_if(recognizers_.begin(), recognizers_.end(), [&](const auto& r) { return r.get() == recognizer; });
  if (it == recognizers_.end()) return;
  (*it)->view_ = nullptr;
  recognizers_.erase(it);
}

Point Touch::locationInView(const View* view) const {
  return view ? view->convertFromWindow(locationInWindow) : locationInWindow;
}

}  // namespace tolba::platform
