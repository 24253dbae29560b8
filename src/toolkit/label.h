#pragma once
// A view that shows text. It takes no touches.

#include <string>

#include "toolkit/display.h"
#include "toolkit/font.h"
#include "toolkit/view.h"

namespace tolba::platform {

// Numbered as on the phone platform.
enum class TextAlignment { Left = 0, Center = 1, Right = 2 };
enum class LineBreakMode { WordWrapping = 0, CharWrapping = 1, Clipping = 2, TruncatingTail = 4 };

class Label : public View {
 public:
  bool drawsContent() const override { return true; }
  explicit Label(Rect frame = {});

  const std::string& text() const { return text_; }
  void setText(std::string text) { assign(text_, std::move(text)); }
  Color textColor() const { return textColor_; }
  void setTextColor(Color color) { assign(textColor_, color); }
  Font font() const { return font_; }
  void setFont(Font font) { assign(font_, font); }
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment alignment) { assign(alignment_, alignment); }
  // 1 by default; 0 means as many lines as the text needs.
  int numberOfLines() const { return numberOfLines_; }
  void setNumberOfLines(int lines) { assign(numberOfLines_, lines); }
  LineBreakMode lineBreakMode() const { return lineBreakMode_; }
  void setLineBreakMode(LineBreakMode mode) { assign(lineBreakMode_, mode); }

  // The size the text needs: one line when numberOfLines is 1, otherwise
  // wrapped within the label's current width (any width when it is 0).
  Size sizeThatFits() const;
  // Keeps the origin, takes sizeThatFits().
  void sizeToFit() override;

 private:
  // Sets a property, marking the screen when the value changes.
  template <class T>
  void assign(T& field, T value) {
    if (field == value) return;
    field = std::move(value);
    setNeedsDisplay();
  }
  std::string text_;
  Color textColor_ = Color::blackColor();
  Font font_ = Font::systemFont(17);
  TextAlignment alignment_ = TextAlignment::Left;
  int numberOfLines_ = 1;
  LineBreakMode lineBreakMode_ = LineBreakMode::TruncatingTail;
};

}  // namespace tolba::platform
