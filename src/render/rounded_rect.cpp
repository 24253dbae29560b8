#include "render/rounded_rect.h"

#include <algorithm>
#include <cmath>

namespace tolba::render {

void roundedRect(cairo_t* cr, double x, double y, double w, double h, CornerRadii radii) {
  const auto fit = [&](double r) { return std::min({r, w / 2, h / 2}); };
  const double tl = fit(radii.topLeft), tr = fit(radii.topRight), br = fit(radii.bottomRight),
               bl = fit(radii.bottomLeft);
  if (tl <= 0 && tr <= 0 && br <= 0 && bl <= 0) {
    cairo_rectangle(cr, x, y, w, h);
    return;
  }
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - tr, y + tr, tr, -M_PI / 2, 0);
  cairo_arc(cr, x + w - br, y + h - br, br, 0, M_PI / 2);
  cairo_arc(cr, x + bl, y + h - bl, bl, M_PI / 2, M_PI);
  cairo_arc(cr, x + tl, y + tl, tl, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

}  // namespace tolba::render
