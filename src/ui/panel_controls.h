#pragma once
// The controls the SDK's panels share: black system-font labels, rounded
// black-text fields, and the grey buttons with white titles of the button rows.

#include <memory>

#include "toolkit/button.h"
#include "toolkit/geometry.h"
#include "toolkit/label.h"
#include "toolkit/text_field.h"

namespace tolba {

// A label of `text` in black, in the system font of `fontSize`.
std::shared_ptr<platform::Label> makePanelLabel(platform::Rect frame, const char* text, double fontSize);
// An empty field with a placeholder: rounded border, black text, system font 18.
std::shared_ptr<platform::TextField> makePanelField(platform::Rect frame, const char* placeholder);
// A light grey button with a white title in the system font of `fontSize`.
std::shared_ptr<platform::Button> makePanelButton(platform::Rect frame, const char* title, double fontSize);

}  // namespace tolba
