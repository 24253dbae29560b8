#pragma once
// A view that reports user actions to targets: touch-up-inside (a touch that
// began on the control and was lifted inside it) and value-changed.

#include <cstdint>
#include <functional>
#include <vector>

#include "toolkit/view.h"

namespace tolba::platform {

// EditingDidEndOnExit: the return key in a focused text field.
enum class ControlEvent { TouchUpInside, ValueChanged, EditingDidEndOnExit };

// Bit flags, numbered as on the phone platform.
enum ControlState : std::uint32_t {
  ControlStateNormal = 0,
  ControlStateHighlighted = 1,
  ControlStateDisabled = 2,
  ControlStateSelected = 4,
};

enum class ContentHorizontalAlignment { Center = 0, Left = 1, Right = 2 };

class Control : public View {
 public:
  using Action = std::function<void(Control& sender)>;
  using View::View;

  // Target-action: a target that must not be kept alive captures a weak_ptr.
  void addTarget(ControlEvent event, Action action);
  void removeAllTargets() { targets_.clear(); }
  // Runs the actions of `event`, in the order they were added.
  void sendActions(ControlEvent event);
  bool hasTargets(ControlEvent event) const;

  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  bool isSelected() const { return selected_; }
  void setSelected(bool selected);
  bool isHighlighted() const { return highlighted_; }
  std::uint32_t state() const;
  ContentHorizontalAlignment contentHorizontalAlignment() const { return contentAlignment_; }
  void setContentHorizontalAlignment(ContentHorizontalAlignment a) {
    contentAlignment_ = a;
    noteStateChange();
  }

  View* hitTest(Point p) override;
  void touchesBegan(const Touch& touch) override;
  void touchesMoved(const Touch& touch) override;
  void touchesEnded(const Touch& touch) override;
  void touchesCancelled(const Touch& touch) override;

 protected:
  // A touch was lifted inside the control; the default sends TouchUpInside.
  virtual void touchUpInside();
  // Selected, highlighted or enabled changed.
  virtual void stateChanged() {}

 private:
  // Marks the screen and tells the subclass.
  void noteStateChange();
  std::vector<std::pair<ControlEvent, Action>> targets_;
  bool enabled_ = true;
  bool selected_ = false;
  bool highlighted_ = false;
  bool tracking_ = false;
  ContentHorizontalAlignment contentAlignment_ = ContentHorizontalAlignment::Center;
};

}  // namespace tolba::platform
