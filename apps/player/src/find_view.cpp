#include "tolba/player/find_view.h"

namespace tolba::player {

std::shared_ptr<platform::Button> findButton(const std::shared_ptr<platform::View>& root, const std::string& title) {
  if (!root) return nullptr;
  const auto& children = root->subviews();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    auto button = std::dynamic_pointer_cast<platform::Button>(*it);
    if (button && button->currentTitle() == title) return button;
    if (auto found = findButton(*it, title)) return found;
  }
  return nullptr;
}

}  // namespace tolba::player
