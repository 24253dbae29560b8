#pragma once
// Points, sizes and rectangles in points (doubles), as the view tree uses them.
// Comparisons are exact: layout rules compare frames with ==.

namespace tolba::platform {

struct Point {
  double x = 0;
  double y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  double width = 0;
  double height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  Point origin;
  Size size;

  constexpr Rect() = default;
  constexpr Rect(Point o, Size s) : origin(o), size(s) {}
  constexpr Rect(double x, double y, double width, double height) : origin{x, y}, size{width, height} {}

  double x() const { return origin.x; }
  double y() const { return origin.y; }
  double width() const { return size.width; }
  double height() const { return size.height; }
  double maxX() const { return origin.x + size.width; }
  double maxY() const { return origin.y + size.height; }
  Point center() const { return {origin.x + size.width * 0.5, origin.y + size.height * 0.5}; }
  // Inside when origin <= p < origin + size on both axes.
  bool contains(Point p) const { return p.x >= origin.x && p.y >= origin.y && p.x < maxX() && p.y < maxY(); }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct EdgeInsets {
  double top = 0;
  double left = 0;
  double bottom = 0;
  double right = 0;
  friend bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

}  // namespace tolba::platform
