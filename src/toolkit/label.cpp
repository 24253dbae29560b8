#include "toolkit/label.h"

#include <limits>

#include "toolkit/text_measurer.h"

namespace tolba::platform {

Label::Label(Rect frame) : View(frame) { setUserInteractionEnabled(false); }

Size Label::sizeThatFits() const {
  const auto& measurer = TextMeasurer::current();
  if (numberOfLines_ == 1) return measurer.measure(text_, font_, std::numeric_limits<double>::infinity(), 1);
  const double width = frame().width() > 0 ? frame().width() : std::numeric_limits<double>::infinity();
  return measurer.measure(text_, font_, width, numberOfLines_);
}

void Label::sizeToFit() { setFrame({frame().origin, sizeThatFits()}); }

}  // namespace tolba::platform
