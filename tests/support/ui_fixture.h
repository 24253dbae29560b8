#pragma once
// Fixture for view-tree tests: everything SdkTest gives (manual clock, fresh
// singletons, a fresh application with the headless text measurer), and a
// helper that puts up a key window with a root view.

#include <memory>
#include <ostream>

#include "support/sdk_fixture.h"
#include "toolkit/application.h"
#include "toolkit/color.h"
#include "toolkit/geometry.h"
#include "toolkit/window.h"

namespace tolba::platform {

// Readable failure messages for geometry and colours.
inline void PrintTo(const Point& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ")"; }
inline void PrintTo(const Size& s, std::ostream* os) { *os << s.width << " x " << s.height; }
inline void PrintTo(const Rect& r, std::ostream* os) {
  *os << "(" << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ")";
}
inline void PrintTo(const Color& c, std::ostream* os) {
  *os << "rgba(" << c.red << ", " << c.green << ", " << c.blue << ", " << c.alpha << ")";
}

}  // namespace tolba::platform

namespace tolba::testing {

class UiTest : public SdkTest {
 protected:
  // Sets the screen to `size` in `orientation` and shows a key window covering
  // it, with a root view and the given safe-area insets.
  std::shared_ptr<platform::Window> showKeyWindow(platform::Size size,
                                                  std::int64_t orientation = platform::InterfaceOrientationPortrait,
                                                  platform::EdgeInsets insets = {});

  platform::Application& app() { return platform::Application::shared(); }
};

}  // namespace tolba::testing
