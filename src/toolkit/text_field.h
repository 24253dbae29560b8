#pragma once
// A one-line text entry. A tap focuses it (it becomes the first responder, one
// field at a time in the process); while focused it takes typed text.

#include <cstdint>
#include <memory>
#include <string>

#include "toolkit/control.h"
#include "toolkit/font.h"

namespace tolba::platform {

// Numbered as on the phone platform.
enum class TextBorderStyle { None = 0, Line = 1, Bezel = 2, RoundedRect = 3 };

class TextField : public Control {
 public:
  using Control::Control;
  ~TextField() override;

  const std::string& text() const { return text_; }
  void setText(std::string text) { text_ = std::move(text); }
  const std::string& placeholder() const { return placeholder_; }
  void setPlaceholder(std::string placeholder) { placeholder_ = std::move(placeholder); }
  TextBorderStyle borderStyle() const { return borderStyle_; }
  void setBorderStyle(TextBorderStyle style) { borderStyle_ = style; }
  Color textColor() const { return textColor_; }
  void setTextColor(Color color) { textColor_ = color; }
  Font font() const { return font_; }
  void setFont(Font font) { font_ = font; }
  bool isSecureTextEntry() const { return secure_; }
  void setSecureTextEntry(bool secure) { secure_ = secure; }

  // Focus. Becoming first responder takes focus from any other field.
  bool becomeFirstResponder();
  bool resignFirstResponder();
  bool isFirstResponder() const;
  static std::shared_ptr<TextField> focusedField();

  // The input method's composition (preedit) shown after the text, with its
  // cursor in characters; empty when nothing is being composed.
  const std::string& markedText() const { return markedText_; }
  std::int32_t markedCursor() const { return markedCursor_; }
  void setMarkedText(std::string text, std::int32_t cursor) {
    markedText_ = std::move(text);
    markedCursor_ = cursor;
  }

  // Typing, only while focused: appends text / deletes the last character.
  // Both send ValueChanged (the platform's editing-changed).
  void insertText(const std::string& text);
  void deleteBackward();

 protected:
  void touchUpInside() override;

 private:
  std::string text_;
  std::string placeholder_;
  std::string markedText_;
  std::int32_t markedCursor_ = 0;
  TextBorderStyle borderStyle_ = TextBorderStyle::None;
  Color textColor_ = Color::blackColor();
  Font font_ = Font::systemFont(17);
  bool secure_ = false;
};

}  // namespace tolba::platform
