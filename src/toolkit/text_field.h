#pragma once
// A one-line text entry. A tap focuses it (it becomes the first responder, one
// field at a time in the process); while focused it takes typed text and the
// keyboard is up (keyboard.h).

#include <cstdint>
#include <memory>
#include <string>

#include "toolkit/control.h"
#include "toolkit/display.h"
#include "toolkit/font.h"

namespace tolba::platform {

// Numbered as on the phone platform.
enum class TextBorderStyle { None = 0, Line = 1, Bezel = 2, RoundedRect = 3 };

class TextField : public Control {
 public:
  bool drawsContent() const override { return true; }
  using Control::Control;
  ~TextField() override;

  const std::string& text() const { return text_; }
  void setText(std::string text) { assign(text_, std::move(text)); }
  const std::string& placeholder() const { return placeholder_; }
  void setPlaceholder(std::string placeholder) { assign(placeholder_, std::move(placeholder)); }
  TextBorderStyle borderStyle() const { return borderStyle_; }
  void setBorderStyle(TextBorderStyle style) { assign(borderStyle_, style); }
  Color textColor() const { return textColor_; }
  void setTextColor(Color color) { assign(textColor_, color); }
  Font font() const { return font_; }
  void setFont(Font font) { assign(font_, font); }
  bool isSecureTextEntry() const { return secure_; }
  void setSecureTextEntry(bool secure) { assign(secure_, secure); }

  // Focus. Becoming first responder takes focus from any other field (the
  // keyboard stays up); giving it up sends the keyboard down.
  bool becomeFirstResponder();
  bool resignFirstResponder();
  bool isFirstResponder() const;
  static std::shared_ptr<TextField> focusedField();

  // The input method's composition (preedit) shown after the text, with its
  // cursor in characters; empty when nothing is being composed.
  const std::string& markedText() const { return markedText_; }
  std::int32_t markedCursor() const { return markedCursor_; }
  void setMarkedText(std::string text, std::int32_t cursor) {
    assign(markedText_, std::move(text));
    assign(markedCursor_, cursor);
  }

  // Typing, only while focused: appends text / deletes the last character.
  // Both send ValueChanged (the platform's editing-changed).
  void insertText(const std::string& text);
  void deleteBackward();
  // Commits composed text: replaces the composition, if any, with `text`.
  void commitText(const std::string& text);

  // The return key: a field with EditingDidEndOnExit targets gives up focus
  // and sends them (a panel submits); any other field moves focus on to the
  // next field of its panel, or gives it up when it is the last.
  void returnKey();
  // The next enabled, visible field of the same panel (the view under the
  // window that holds this field), in tree order; the first one after the
  // last when `wrap`. Null when there is none.
  std::shared_ptr<TextField> nextField(bool wrap) const;

 protected:
  void touchUpInside() override;

 private:
  template <class T>
  void assign(T& field, T value) {
    if (field == value) return;
    field = std::move(value);
    setNeedsDisplay();
  }
  // Drops focus without touching the keyboard.
  void loseFocus();
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
