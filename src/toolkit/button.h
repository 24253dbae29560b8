#pragma once
// A push button with a title per control state. The title is shown by
// titleLabel(), a subview that fills the button and follows the current state;
// a title with line breaks gives the label that many lines.

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "toolkit/control.h"
#include "toolkit/label.h"

namespace tolba::platform {

class Button : public Control {
 public:
  explicit Button(Rect frame = {});

  // Title and title colour of a state; a state with none set falls back to the
  // normal state's.
  void setTitle(std::optional<std::string> title, std::uint32_t state = ControlStateNormal);
  std::optional<std::string> titleForState(std::uint32_t state) const;
  void setTitleColor(Color color, std::uint32_t state = ControlStateNormal);
  Color titleColorForState(std::uint32_t state) const;
  // For the current state.
  std::string currentTitle() const;
  Color currentTitleColor() const;

  Label& titleLabel() { return *titleLabel_; }
  const Label& titleLabel() const { return *titleLabel_; }
  void setTitleFont(Font font);

  void setFrame(Rect frame) override;

 protected:
  void stateChanged() override;

 private:
  void refreshTitle();
  std::map<std::uint32_t, std::string> titles_;
  std::map<std::uint32_t, Color> titleColors_;
  std::shared_ptr<Label> titleLabel_;
};

}  // namespace tolba::platform
