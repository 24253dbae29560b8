#include "scene.h"

#include <algorithm>

#include <pango/pangocairo.h>

namespace tolba::sim {
namespace {

struct ButtonKind {
  SceneAction action;
  const char* name;
  const char* title;
};

constexpr ButtonKind kButtonKinds[] = {
    {SceneAction::Initialise, "init", "初始化 Initialise"},
    {SceneAction::Login, "login", "登录 Log in"},
    {SceneAction::ReportRole, "role", "创建角色 Report role"},
    {SceneAction::BuyGems, "gems", "60钻石 Buy 60 gems (coins)"},
    {SceneAction::BuyMonthlyCard, "card", "月卡 Monthly card (WeChat)"},
    {SceneAction::Logout, "logout", "退出 Log out"},
    {SceneAction::Rotate, "rotate", "横竖屏 Rotate"},
};

}  // namespace

void roundedRect(cairo_t* cr, double x, double y, double width, double height, double radius) {
  constexpr double kQuarter = 1.5707963267948966;
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + width - radius, y + radius, radius, -kQuarter, 0);
  cairo_arc(cr, x + width - radius, y + height - radius, radius, 0, kQuarter);
  cairo_arc(cr, x + radius, y + height - radius, radius, kQuarter, 2 * kQuarter);
  cairo_arc(cr, x + radius, y + radius, radius, 2 * kQuarter, 3 * kQuarter);
  cairo_close_path(cr);
}

void drawText(cairo_t* cr, const std::string& text, double x, double y, double width, double height, double size,
              bool bold, bool centred, double r, double g, double b) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, "Sans");
  pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
  pango_font_description_set_weight(font, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout, font);
  pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
  pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  pango_layout_set_alignment(layout, centred ? PANGO_ALIGN_CENTER : PANGO_ALIGN_LEFT);
  pango_layout_set_text(layout, text.c_str(), -1);
  int w = 0, h = 0;
  pango_layout_get_pixel_size(layout, &w, &h);
  cairo_set_source_rgb(cr, r, g, b);
  cairo_move_to(cr, x, y + (height - h) / 2);
  pango_cairo_show_layout(cr, layout);
  pango_font_description_free(font);
  g_object_unref(layout);
}

void Scene::layout(const TolbaScreen& screen) {
  screen_ = screen;
  buttons_.clear();
  const auto& inset = screen.safeArea;
  const double left = inset.left + 20;
  const double right = screen.width - inset.right - 20;
  const bool wide = screen.width > screen.height;
  const int columns = wide ? 2 : 1;
  const double gap = wide ? 10 : 12;
  const double height = wide ? 40 : 46;
  const double columnWidth = std::min(300.0, (right - left - gap * (columns - 1)) / columns);
  const double startX = (left + right - (columnWidth * columns + gap * (columns - 1))) / 2;
  const double startY = inset.top + (wide ? 84 : 126);
  int i = 0;
  for (const auto& kind : kButtonKinds) {
    const int column = i % columns;
    const int row = i / columns;
    buttons_.push_back({kind.action, kind.name, kind.title, startX + column * (columnWidth + gap),
                        startY + row * (height + gap), columnWidth, height});
    ++i;
  }
}

const SceneButton* Scene::button(const std::string& name) const {
  for (const auto& b : buttons_) {
    if (b.name == name) return &b;
  }
  return nullptr;
}

const SceneButton* Scene::hit(double x, double y) const {
  for (const auto& b : buttons_) {
    if (x >= b.x && x < b.x + b.width && y >= b.y && y < b.y + b.height) return &b;
  }
  return nullptr;
}

void Scene::draw(cairo_t* cr, const std::string& status) const {
  const double w = screen_.width;
  const double h = screen_.height;
  // A dusk sky over hills.
  cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, h);
  cairo_pattern_add_color_stop_rgb(sky, 0, 0.13, 0.20, 0.36);
  cairo_pattern_add_color_stop_rgb(sky, 1, 0.32, 0.20, 0.34);
  cairo_set_source(cr, sky);
  cairo_paint(cr);
  cairo_pattern_destroy(sky);
  cairo_set_source_rgb(cr, 0.16, 0.30, 0.24);
  cairo_move_to(cr, 0, h * 0.82);
  cairo_curve_to(cr, w * 0.3, h * 0.74, w * 0.6, h * 0.90, w, h * 0.78);
  cairo_line_to(cr, w, h);
  cairo_line_to(cr, 0, h);
  cairo_close_path(cr);
  cairo_fill(cr);

  const auto& inset = screen_.safeArea;
  const bool wide = w > h;
  const double titleTop = inset.top + (wide ? 12 : 36);
  drawText(cr, "龙城传说", inset.left, titleTop, w - inset.left - inset.right, 44, wide ? 30 : 34, true, true, 1.0,
           0.86, 0.45);
  drawText(cr, "Dragon Town: a stand-in game hosting the Tolba SDK", inset.left + 10, titleTop + (wide ? 38 : 48),
           w - inset.left - inset.right - 20, 20, 12, false, true, 0.85, 0.85, 0.92);

  for (const auto& b : buttons_) {
    const bool down = pressed_ == b.action;
    roundedRect(cr, b.x, b.y, b.width, b.height, 12);
    if (down) {
      cairo_set_source_rgb(cr, 0.78, 0.52, 0.16);
    } else {
      cairo_set_source_rgb(cr, 0.95, 0.68, 0.24);
    }
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.45, 0.27, 0.05);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    drawText(cr, b.title, b.x + 8, b.y, b.width - 16, b.height, 17, true, true, 0.22, 0.12, 0.02);
  }

  // The status line, above the home indicator.
  const double barHeight = 34;
  const double barY = h - inset.bottom - barHeight - 10;
  roundedRect(cr, inset.left + 10, barY, w - inset.left - inset.right - 20, barHeight, 8);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
  cairo_fill(cr);
  drawText(cr, status, inset.left + 20, barY, w - inset.left - inset.right - 40, barHeight, 13, false, false, 1, 1, 1);
}

}  // namespace tolba::sim
