#pragma once
// An on/off switch. It keeps the platform's standard size (51 x 31) whatever
// frame it is given; only the origin counts. A tap toggles it and sends
// ValueChanged.

#include "toolkit/control.h"
#include "toolkit/display.h"

namespace tolba::platform {

class Switch : public Control {
 public:
  bool drawsContent() const override { return true; }
  static constexpr Size kStandardSize{51, 31};
  explicit Switch(Rect frame = {});

  bool isOn() const { return on_; }
  void setOn(bool on) {
    if (on == on_) return;
    on_ = on;
    setNeedsDisplay();
  }
  void setFrame(Rect frame) override;

 protected:
  void touchUpInside() override;

 private:
  bool on_ = false;
};

}  // namespace tolba::platform
