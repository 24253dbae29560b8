#include "toolkit/button.h"

#include <algorithm>

namespace tolba::platform {
namespace {
// The most specific state with a value: the exact state, then selected or
// highlighted alone, then normal.
template <class T>
const T* lookup(const std::map<std::uint32_t, T>& values, std::uint32_t state) {
  for (std::uint32_t s : {state, state & ControlStateSelected, state & ControlStateHighlighted,
                          state & ControlStateDisabled, std::uint32_t{ControlStateNormal}}) {
    if (auto it = values.find(s); it != values.end()) return &it->second;
  }
  return nullptr;
}
}  // namespace

Button::Button(Rect frame) : Control(frame), titleLabel_(std::make_shared<Label>(bounds())) {
  titleLabel_->setTextColor(Color::whiteColor());
  titleLabel_->setFont(Font::systemFont(15));
  titleLabel_->setTextAlignment(TextAlignment::Center);
  addSubview(titleLabel_);
}

void Button::setTitle(std::optional<std::string> title, std::uint32_t state) {
  if (title) {
    titles_[state] = std::move(*title);
  } else {
    titles_.erase(state);
  }
  refreshTitle();
}

std::optional<std::string> Button::titleForState(std::uint32_t state) const {
  if (const auto* t = lookup(titles_, state)) return *t;
  return std::nullopt;
}

void Button::setTitleColor(Color color, std::uint32_t state) {
  titleColors_[state] = color;
  refreshTitle();
}

Color Button::titleColorForState(std::uint32_t state) const {
  if (const auto* c = lookup(titleColors_, state)) return *c;
  return Color::whiteColor();
}

std::string Button::currentTitle() const { return titleForState(state()).value_or(""); }

Color Button::currentTitleColor() const { return titleColorForState(state()); }

void Button::setTitleFont(Font font) { titleLabel_->setFont(font); }

void Button::setFrame(Rect frame) {
  Control::setFrame(frame);
  if (titleLabel_) titleLabel_->setFrame(bounds());
}

void Button::stateChanged() { refreshTitle(); }

void Button::refreshTitle() {
  const std::string title = currentTitle();
  // A title with line breaks shows on as many lines ("切转\n账号" on two),
  // centred as a block in the button.
  titleLabel_->setNumberOfLines(1 + static_cast<int>(std::count(title.begin(), title.end(), '\n')));
  titleLabel_->setText(title);
  titleLabel_->setTextColor(currentTitleColor());
  switch (contentHorizontalAlignment()) {
    case ContentHorizontalAlignment::Left: titleLabel_->setTextAlignment(TextAlignment::Left); break;
    case ContentHorizontalAlignment::Right: titleLabel_->setTextAlignment(TextAlignment::Right); break;
    case ContentHorizontalAlignment::Center: titleLabel_->setTextAlignment(TextAlignment::Center); break;
  }
}

}  // namespace tolba::platform
