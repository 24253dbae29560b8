#pragma once
// A colour as red, green, blue and alpha in 0..1.

namespace tolba::platform {

struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;

  static constexpr Color blackColor() { return {0, 0, 0, 1}; }
  static constexpr Color whiteColor() { return {1, 1, 1, 1}; }
  static constexpr Color redColor() { return {1, 0, 0, 1}; }
  static constexpr Color blueColor() { return {0, 0, 1, 1}; }
  static constexpr Color lightGrayColor() { return {2.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0, 1}; }
  static constexpr Color clearColor() { return {0, 0, 0, 0}; }
  friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace tolba::platform
