#include "toolkit/text_field.h"

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

bool TextField::becomeFirstResponder() {
  if (!isEnabled() || isHidden()) return false;
  auto current = focusedField();
  if (current.get() == this) return true;
  if (current) current->resignFirstResponder();
  focusSlot() = std::static_pointer_cast<TextField>(shared_from_this());
  return true;
}

bool TextField::resignFirstResponder() {
  if (isFirstResponder()) focusSlot().reset();
  return true;
}

void TextField::insertText(const std::string& text) {
  if (!isFirstResponder() || text.empty()) return;
  text_ += text;
  sendActions(ControlEvent::ValueChanged);
}

void TextField::deleteBackward() {
  if (!isFirstResponder() || text_.empty()) return;
  // Drop the last UTF-8 character: continuation bytes, then its lead byte.
  std::size_t end = text_.size();
  while (end > 0 && (static_cast<unsigned char>(text_[end - 1]) & 0xC0) == 0x80) --end;
  text_.erase(end > 0 ? end - 1 : 0);
  sendActions(ControlEvent::ValueChanged);
}

void TextField::touchUpInside() {
  becomeFirstResponder();
  Control::touchUpInside();
}

}  // namespace tolba::platform
