#pragma once
// A rectangle with rounded corners as a cairo path. Each radius is kept within
// half the width and half the height; with none left it is a plain rectangle.

#include <cairo.h>

namespace tolba::render {

struct CornerRadii {
  double topLeft = 0, topRight = 0, bottomRight = 0, bottomLeft = 0;
};

void roundedRect(cairo_t* cr, double x, double y, double w, double h, CornerRadii radii);
inline void roundedRect(cairo_t* cr, double x, double y, double w, double h, double radius) {
  roundedRect(cr, x, y, w, h, CornerRadii{radius, radius, radius, radius});
}

}  // namespace tolba::render
