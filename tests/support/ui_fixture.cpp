#include "support/ui_fixture.h"

namespace tolba::testing {

std::shared_ptr<platform::Window> UiTest::showKeyWindow(platform::Size size, std::int64_t orientation,
                                                        platform::EdgeInsets insets) {
  auto& application = platform::Application::shared();
  application.setMainScreenBounds({{0, 0}, size});
  // Set the orientation without turning the screen: the size given is the one
  // of that orientation.
  const auto bounds = application.mainScreenBounds();
  application.setStatusBarOrientation(orientation);
  application.setMainScreenBounds(bounds);
  platform::RunLoop::main().drain();  // the orientation notice of the set-up is not part of the test
  auto window = std::make_shared<platform::Window>(bounds);
  window->setRootView(std::make_shared<platform::View>());
  window->setSafeAreaInsets(insets);
  window->makeKeyAndVisible();
  return window;
}

}  // namespace tolba::testing
