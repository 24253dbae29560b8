#pragma once
// Finding what is on the screen the way a player's eye would: the front-most
// view of a kind in the application's windows, or a button by its title.

#include <memory>
#include <string>

#include "toolkit/application.h"
#include "toolkit/button.h"
#include "toolkit/view.h"
#include "toolkit/window.h"

namespace tolba::player {

namespace detail {
template <class T>
std::shared_ptr<T> findIn(const std::shared_ptr<platform::View>& view) {
  const auto& children = view->subviews();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (auto found = std::dynamic_pointer_cast<T>(*it)) return found;
    if (auto found = findIn<T>(*it)) return found;
  }
  return nullptr;
}
}  // namespace detail

// The front-most view of type T in any window (front windows first), or null.
template <class T>
std::shared_ptr<T> findView() {
  const auto windows = platform::Application::shared().windows();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    if (auto found = detail::findIn<T>(*it)) return found;
  }
  return nullptr;
}

// The front-most button under `root` whose current title is `title`, or null.
std::shared_ptr<platform::Button> findButton(const std::shared_ptr<platform::View>& root, const std::string& title);

}  // namespace tolba::player
