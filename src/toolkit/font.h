#pragma once
// The system font of a size and weight. Metrics come from the current text
// measurer (text_measurer.h).

namespace tolba::platform {

enum class FontWeight { Regular, Medium, Bold };

struct Font {
  double pointSize = 17;
  FontWeight weight = FontWeight::Regular;

  static constexpr Font systemFont(double size, FontWeight weight = FontWeight::Regular) { return {size, weight}; }
  static constexpr Font boldSystemFont(double size) { return {size, FontWeight::Bold}; }
  // Height of one line of text, from the current text measurer.
  double lineHeight() const;
  friend bool operator==(const Font&, const Font&) = default;
};

}  // namespace tolba::platform
