#include "snapshots.h"

#include "render/rounded_rect.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tolba/TolbaLayer.h"
#include "toolkit/application.h"

namespace tolba::demo {
namespace {

void text(cairo_t* cr, const char* utf8, double size, double centreX, double y, bool bold = false) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_from_string("WenQuanYi Micro Hei");
  pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
  if (bold) pango_font_description_set_weight(font, PANGO_WEIGHT_BOLD);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  pango_layout_set_text(layout, utf8, -1);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  cairo_move_to(cr, centreX - logical.width / double(PANGO_SCALE) / 2, y);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
}

void bigButton(cairo_t* cr, const char* title, double cx, double y, double w) {
  const double h = 50, r = 12, x = cx - w / 2;
  render::roundedRect(cr, x, y, w, h, r);
  cairo_set_source_rgb(cr, 0.93, 0.62, 0.18);
  cairo_fill_preserve(cr);
  cairo_set_source_rgb(cr, 0.55, 0.3, 0.05);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  text(cr, title, 20, cx, y + 12, true);
}

// The game: a title screen that keeps to its own layout in both orientations.
void drawGame(cairo_t* cr, double w, double h) {
  cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, h);
  cairo_pattern_add_color_stop_rgb(sky, 0, 0.08, 0.12, 0.30);
  cairo_pattern_add_color_stop_rgb(sky, 1, 0.30, 0.16, 0.36);
  cairo_set_source(cr, sky);
  cairo_paint(cr);
  cairo_pattern_destroy(sky);
  // Hills.
  cairo_move_to(cr, 0, h * 0.78);
  cairo_curve_to(cr, w * 0.3, h * 0.68, w * 0.6, h * 0.86, w, h * 0.72);
  cairo_line_to(cr, w, h);
  cairo_line_to(cr, 0, h);
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.12, 0.22, 0.16);
  cairo_fill(cr);

  const bool landscape = w > h;
  cairo_set_source_rgb(cr, 1, 0.86, 0.45);
  text(cr, "龙城传说", landscape ? 44 : 48, w / 2, landscape ? h * 0.08 : h * 0.12, true);
  cairo_set_source_rgb(cr, 0.85, 0.85, 0.95);
  text(cr, "A stand-in game for the Tolba SDK demo", 14, w / 2, landscape ? h * 0.08 + 60 : h * 0.12 + 66);
  const double top = landscape ? h * 0.42 : h * 0.40;
  const char* titles[] = {"开始游戏", "选择服务器", "设置"};
  for (int i = 0; i < 3; ++i) bigButton(cr, titles[i], w / 2, top + i * 66, 220);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
  cairo_rectangle(cr, 0, h - 30, w, 30);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.8, 0.95, 0.8);
  text(cr, "龙城一区 · 服务器正常 · v1.0", 13, w / 2, h - 23);
}

}  // namespace

Snapshots::Snapshots(std::filesystem::path folder) : folder_(std::move(folder)) {}

bool Snapshots::shoot(const std::string& name, std::string* error) {
  const auto& app = platform::Application::shared();
  const double scale = app.screenScale();
  const auto screen = app.mainScreenBounds();
  const int width = static_cast<int>(std::ceil(screen.width() * scale));
  const int height = static_cast<int>(std::ceil(screen.height() * scale));

  // The SDK's layer, into the RGBA buffer a game would upload as a texture.
  std::vector<std::uint8_t> layer(static_cast<std::size_t>(width) * height * 4);
  TolbaHost::shared().redrawAll();  // a new buffer, perhaps where the last one was
  if (!TolbaLayer::drawInto({layer.data(), width, height, width * 4})) {
    *error = "the SDK's layer could not be drawn";
    return false;
  }

  cairo_surface_t* frame = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(frame);
  cairo_scale(cr, scale, scale);
  drawGame(cr, screen.width(), screen.height());
  cairo_identity_matrix(cr);

  // The layer over the game: its premultiplied RGBA bytes as cairo's words.
  cairo_surface_t* overlay = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_surface_flush(overlay);
  unsigned char* data = cairo_image_surface_get_data(overlay);
  const int stride = cairo_image_surface_get_stride(overlay);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    const std::uint8_t* p = layer.data() + static_cast<std::size_t>(y) * width * 4;
    for (int x = 0; x < width; ++x, p += 4) {
      row[x] = (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    }
  }
  cairo_surface_mark_dirty(overlay);
  cairo_set_source_surface(cr, overlay, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(overlay);

  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  const auto path = folder_ / (name + ".png");
  const cairo_status_t status = cairo_surface_write_to_png(frame, path.c_str());
  cairo_surface_destroy(frame);
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = std::string("cannot write ") + path.string() + ": " + cairo_status_to_string(status);
    return false;
  }
  return true;
}

}  // namespace tolba::demo
