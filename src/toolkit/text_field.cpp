#include "toolkit/text_field.h"

#include <functional>

#include "platform/utf8.h"
#include "toolkit/keyboard.h"
#include "toolkit/window.h"

namespace tolba::platform {
namespace {
// The focused field; only the main thread touches it.
std::weak_ptr<TextField>& focusSlot() {
  static auto* slot = new std::weak_ptr<TextField>();
  return *slot;
}
}  // namespace

TextField::~TextField() = default;

std::shared_ptr<TextField> TextField::focusedField() { return focusSlot().lock(); }

bool TextField::isFirstResponder() const { return focusSlot().lock().get() == this; }

void TextField::loseFocus() {
  focusSlot().reset();
  setMarkedText("", 0);  // an unfinished composition is dropped
  setNeedsDisplay();
}

bool TextField::becomeFirstResponder() {
  if (!isEnabled() || isHidden()) return false;
  auto current = focusedField();
  if (current.get() == this) return true;
  if (current) current->loseFocus();
  focusSlot() = std::static_pointer_cast<TextField>(shared_from_this());
  setNeedsDisplay();
  Keyboard::shared().show();
  return true;
}

bool TextField::resignFirstResponder() {
  if (isFirstResponder()) {
    loseFocus();
    Keyboard::shared().hide();
  }
  return true;
}

void TextField::insertText(const std::string& text) {
  if (!isFirstResponder() || text.empty()) return;
  text_ += text;
  setNeedsDisplay();
  sendActions(ControlEvent::ValueChanged);
}

void TextField::commitText(const std::string& text) {
  if (!isFirstResponder()) return;
  setMarkedText("", 0);
  insertText(text);
}

void TextField::deleteBackward() {
  if (!isFirstResponder() || text_.empty()) return;
  text_.erase(utf8::previousBoundary(text_, text_.size()));  // the last character
  setNeedsDisplay();
  sendActions(ControlEvent::ValueChanged);
}

std::shared_ptr<TextField> TextField::nextField(bool wrap) const {
  // The panel: the ancestor that sits directly in a window.
  const View* panel = this;
  while (panel->superview() && !dynamic_cast<const Window*>(panel->superview())) panel = panel->superview();
  std::vector<std::shared_ptr<TextField>> fields;
  std::function<void(const View&)> collect = [&](const View& v) {
    for (const auto& sub : v.subviews()) {
      if (sub->isHidden()) continue;
      if (auto field = std::dynamic_pointer_cast<TextField>(sub); field && field->isEnabled()) fields.push_back(field);
      collect(*sub);
    }
  };
  collect(*panel);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].get() != this) continue;
    if (i + 1 < fields.size()) return fields[i + 1];
    return wrap && fields.size() > 1 ? fields.front() : nullptr;
  }
  return nullptr;
}

void TextField::returnKey() {
  if (!isFirstResponder()) return;
  auto self = shared_from_this();  // an action may close the panel
  if (hasTargets(ControlEvent::EditingDidEndOnExit)) {
    resignFirstResponder();
    sendActions(ControlEvent::EditingDidEndOnExit);
    return;
  }
  if (auto next = nextField(false)) {
    next->becomeFirstResponder();
  } else {
    resignFirstResponder();
  }
}

void TextField::touchUpInside() {
  becomeFirstResponder();
  Control::touchUpInside();
}

}  // namespace tolba::platform
