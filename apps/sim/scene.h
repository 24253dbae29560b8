#pragma once
// The simulator's stand-in game scene: a title, a column of big buttons that
// call the SDK as a game would, and a status line. Drawn with cairo and pango
// at the screen's pixel size; the SDK's layer goes over it.

#include <optional>
#include <string>
#include <vector>

#include <cairo.h>

#include "tolba/TolbaHost.h"

namespace tolba::sim {

enum class SceneAction { Initialise, Login, ReportRole, BuyGems, BuyMonthlyCard, Logout, Rotate };

struct SceneButton {
  SceneAction action;
  std::string name;  // for scripts: "init", "login", "role", "gems", "card", "logout", "rotate"
  std::string title;
  double x = 0, y = 0, width = 0, height = 0;  // points
};

class Scene {
 public:
  // Lays the buttons out for `screen` (two columns on a screen on its side).
  void layout(const TolbaScreen& screen);
  const std::vector<SceneButton>& buttons() const { return buttons_; }
  const SceneButton* button(const std::string& name) const;
  const SceneButton* hit(double x, double y) const;

  void setPressed(std::optional<SceneAction> action) { pressed_ = action; }
  std::optional<SceneAction> pressed() const { return pressed_; }

  // Draws the whole scene into `cr`, whose user space is points.
  void draw(cairo_t* cr, const std::string& status) const;

 private:
  TolbaScreen screen_;
  std::vector<SceneButton> buttons_;
  std::optional<SceneAction> pressed_;
};

// Text with pango in a box, centred or left aligned, in points.
void drawText(cairo_t* cr, const std::string& text, double x, double y, double width, double height, double size,
              bool bold, bool centred, double r, double g, double b);
// A rounded rectangle path.
void roundedRect(cairo_t* cr, double x, double y, double width, double height, double radius);

}  // namespace tolba::sim
