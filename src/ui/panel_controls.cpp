#include "ui/panel_controls.h"

#include "toolkit/color.h"
#include "toolkit/font.h"

namespace tolba {

using platform::Color;
using platform::Font;

std::shared_ptr<platform::Label> makePanelLabel(platform::Rect frame, const char* text, double fontSize) {
  auto label = std::make_shared<platform::Label>(frame);
  label->setText(text);
  label->setTextColor(Color::blackColor());
  label->setFont(Font::systemFont(fontSize));
  return label;
}

std::shared_ptr<platform::TextField> makePanelField(platform::Rect frame, const char* placeholder) {
  auto field = std::make_shared<platform::TextField>(frame);
  field->setPlaceholder(placeholder);
  field->setBorderStyle(platform::TextBorderStyle::RoundedRect);
  field->setTextColor(Color::blackColor());
  field->setFont(Font::systemFont(18));
  return field;
}

std::shared_ptr<platform::Button> makePanelButton(platform::Rect frame, const char* title, double fontSize) {
  auto button = std::make_shared<platform::Button>(frame);
  button->setTitle(title);
  button->setBackgroundColor(Color::lightGrayColor());
  button->setTitleColor(Color::whiteColor());
  button->setTitleFont(Font::systemFont(fontSize));
  return button;
}

}  // namespace tolba
