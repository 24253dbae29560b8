#pragma once
// The retained view tree. A view has a frame in its superview's coordinates and
// owns its subviews (ordered back to front). Views are created with
// std::make_shared and used on the main thread only.
//
// Alpha and centre have a model value (what the setters set, what layout and hit
// testing read) and a presentation value (what is on screen): inside an
// animation block (animation.h) the model value changes at once while the
// presentation value moves towards it on the main run loop's clock.
//
// Every change that shows (geometry, appearance, the tree) marks where the view
// is drawn as needing display (setNeedsDisplay(), display.h); subclasses do the
// same for their own state.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "tolba/platform/run_loop.h"
#include "toolkit/color.h"
#include "toolkit/geometry.h"
#include "toolkit/touch.h"

namespace tolba::platform {

class GestureRecognizer;
class Window;

class View : public std::enable_shared_from_this<View> {
 public:
  explicit View(Rect frame = {});
  virtual ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // Geometry. Bounds always start at (0, 0) and have the frame's size.
  Rect frame() const { return frame_; }
  virtual void setFrame(Rect frame);
  Rect bounds() const { return {0, 0, frame_.width(), frame_.height()}; }
  Point center() const { return frame_.center(); }
  void setCenter(Point center);

  // Appearance.
  double alpha() const { return alpha_; }
  void setAlpha(double alpha);
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden);
  bool isOpaque() const { return opaque_; }
  void setOpaque(bool opaque);
  // Null is no background (transparent).
  const std::optional<Color>& backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(std::optional<Color> color);
  std::int64_t tag() const { return tag_; }
  void setTag(std::int64_t tag) { tag_ = tag; }
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double radius);
  bool clipsToBounds() const { return clipsToBounds_; }
  void setClipsToBounds(bool clips);
  bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }

  // What is on screen now: the model value unless an animation is moving it.
  double presentationAlpha() const;
  Point presentationCenter() const;
  bool isAnimating() const;
  // The same at another time on the main run loop's clock (as this view's
  // animations stand now).
  double presentationAlphaAt(TimePoint at) const;
  Point presentationCenterAt(TimePoint at) const;
  // Whether an animation of this view had not ended by `since`.
  bool isAnimatingSince(TimePoint since) const;

  // Whether the view came into its superview after the last display (it was
  // not drawn there then).
  bool addedSinceLastDisplay() const;

  // Marks the screen where this view (with its subviews) was last drawn and
  // where it is drawn now as changed (screen_damage.h).
  void setNeedsDisplay() const;

  // The tree. Adding a view that has a superview moves it.
  void addSubview(const std::shared_ptr<View>& view);
  // `index` past the end appends (the view lands on top).
  void insertSubview(const std::shared_ptr<View>& view, std::size_t index);
  void removeFromSuperview();
  View* superview() const { return superview_; }
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  // The window this view is in (itself for a window), or null.
  virtual Window* window() const;
  // This view if its tag matches, else the first match among its descendants.
  View* viewWithTag(std::int64_t tag);
  bool isDescendantOf(const View* ancestor) const;

  // Coordinates: a point in this view to its window's coordinates and back.
  Point convertToWindow(Point p) const;
  Point convertFromWindow(Point p) const;

  // Makes the focused text field in this subtree give up focus. Returns whether
  // one did (or none was focused).
  bool endEditing(bool force);

  // Hit testing, in this view's coordinates: the deepest visible, interactive
  // view containing `p`. Skips hidden views, views with alpha <= 0.01, views that
  // do not take touches and views in an animation that blocks interaction.
  virtual View* hitTest(Point p);
  virtual bool pointInside(Point p) const { return bounds().contains(p); }

  // Touch handling. The defaults pass the touch on to the superview (the
  // platform's responder chain), so a view that overrides these hears the
  // touches of plain subviews too (a panel hears a touch on its content box).
  // Controls handle their touches themselves and pass nothing on.
  virtual void touchesBegan(const Touch& touch);
  virtual void touchesMoved(const Touch& touch);
  virtual void touchesEnded(const Touch& touch);
  virtual void touchesCancelled(const Touch& touch);

  void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  void removeGestureRecognizer(const GestureRecognizer* recognizer);
  const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const { return recognizers_; }

  // Whether the view draws something of its own besides its background (text,
  // a control's face, a page); a plain view draws only its background.
  virtual bool drawsContent() const { return false; }

  // Sizes the view to its content; the default does nothing.
  virtual void sizeToFit() {}

 protected:
  // Called after the view moved to another superview (or none).
  virtual void didMoveToSuperview() {}

 private:
  bool interactionBlockedByAnimation() const;
  template <class T>
  struct Track {
    T from;
    TimePoint start;
    double duration;
    bool blocksInteraction;
    std::uint32_t curve;
  };
  template <class T>
  static T interpolate(const Track<T>& track, const T& to, TimePoint now);

  Rect frame_;
  double alpha_ = 1.0;
  bool hidden_ = false;
  bool opaque_ = true;
  std::optional<Color> backgroundColor_;
  std::int64_t tag_ = 0;
  double cornerRadius_ = 0;
  bool clipsToBounds_ = false;
  bool userInteractionEnabled_ = true;
  View* superview_ = nullptr;
  std::uint64_t addedAtDisplay_ = 0;                            // displayCount() when it came into its superview
  mutable std::uint64_t changedAtDisplay_ = ~std::uint64_t{0};  // displayCount() at its first change since
  std::vector<std::shared_ptr<View>> subviews_;
  std::vector<std::shared_ptr<GestureRecognizer>> recognizers_;
  std::optional<Track<double>> alphaTrack_;
  std::optional<Track<Point>> centerTrack_;
};

}  // namespace tolba::platform
