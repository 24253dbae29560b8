#pragma once
// How wide and tall a text is in a font. Layout code asks the current measurer;
// a renderer installs one backed by real font metrics.
//
// The default, headless measurer is deterministic so that tests can compute the
// sizes they expect. With s the font's point size:
//   - a character of printable ASCII (U+0020 to U+007E) is 0.5 s wide;
//   - every other character (CJK ideographs, full-width punctuation, ...) is 1.0 s;
//   - the weight does not change the width;
//   - a line is 1.2 s high;
//   - "\n" starts a new line; a line wider than the allowed width breaks before
//     the character that would overflow it (at least one character per line).
// A size is the width of the widest line by the number of lines times the line
// height (0 x 0 for the empty text).

#include <limits>
#include <memory>
#include <string>

#include "toolkit/font.h"
#include "toolkit/geometry.h"

namespace tolba::platform {

class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  // Size of `text` laid out in lines no wider than `maxWidth`, with at most
  // `maxLines` lines (0 = no limit).
  virtual Size measure(const std::string& text, const Font& font,
                       double maxWidth = std::numeric_limits<double>::infinity(), int maxLines = 0) const = 0;
  virtual double lineHeight(const Font& font) const = 0;

  // The measurer in use; setCurrent(nullptr) restores the headless default.
  static const TextMeasurer& current();
  static void setCurrent(std::shared_ptr<TextMeasurer> measurer);
};

// Preparing the fonts a renderer draws with before the first frame needs them,
// off the calling thread. A renderer registers how; a host calls warmUpFonts()
// once it knows the screen's scale. Without a renderer it does nothing.
using FontWarmUp = void (*)(double scale);
void setFontWarmUp(FontWarmUp warmUp);
void warmUpFonts(double scale);

class HeadlessTextMeasurer final : public TextMeasurer {
 public:
  Size measure(const std::string& text, const Font& font, double maxWidth, int maxLines) const override;
  double lineHeight(const Font& font) const override;
};

}  // namespace tolba::platform
