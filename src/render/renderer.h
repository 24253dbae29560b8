#pragma once
// Draws the toolkit's view tree: every visible window of the application, back
// to front, each view at its presentation position and alpha (what is on screen
// during an animation), its background with its corner radius, its content
// (label, text field, switch, web page) and then its subviews, clipped to its
// rounded bounds when it clips. Main thread only.

#include <memory>

#include "toolkit/view.h"

typedef struct _cairo cairo_t;

namespace tolba::render {

class Renderer {
 public:
  static Renderer& shared();

  // Draws the screen into `cr`, whose user space must be the screen's points
  // (scaled by the screen scale); draws over what is there.
  // Every view is drawn as it stands at `at` on the main run loop's clock.
  void drawScreen(cairo_t* cr, platform::TimePoint at);
  // Draws one view (and its subviews) with its frame's origin at the current
  // origin of `cr`.
  void drawView(cairo_t* cr, platform::View& view, platform::TimePoint at);

 private:
  Renderer();
  // The view's background and content, in its own coordinates.
  void drawOwn(cairo_t* cr, platform::View& view, double w, double h, double ownAlpha);
  ~Renderer() = default;
  // The keyboard's keys: drawn once for each size into a picture of the
  // screen's pixels, then copied from it, also while the keyboard moves.
  void drawKeyboard(cairo_t* cr, double w, double h);
  struct Pages;
  std::unique_ptr<Pages> pages_;
  struct KeyCaps;
  std::unique_ptr<KeyCaps> keys_;
};

}  // namespace tolba::render
