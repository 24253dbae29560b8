#include "render/renderer.h"
#include "render/rounded_rect.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <typeinfo>

#include "render/html_page.h"
#include "render/text_engine.h"
#include "toolkit/application.h"
#include "toolkit/keyboard.h"
#include "toolkit/label.h"
#include "toolkit/screen_damage.h"
#include "toolkit/switch.h"
#include "toolkit/text_field.h"
#include "toolkit/web_view.h"
#include "toolkit/window.h"

namespace tolba::render {
namespace {

using platform::Color;
using platform::Rect;

// Looks of the controls, close to the phone platform's.
constexpr Color kFieldBorder{0.8, 0.8, 0.8, 1};
constexpr Color kPlaceholder{0.78, 0.78, 0.8, 1};
constexpr Color kCaret{0.0, 0.48, 1.0, 1};
constexpr Color kSwitchOn{0.3, 0.85, 0.39, 1};
constexpr Color kSwitchTrackOff{0.9, 0.9, 0.92, 1};
constexpr double kFieldInset = 7;
constexpr double kFieldRadius = 5;

void setColor(cairo_t* cr, const Color& c) { cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha); }

// Text block of a label: centred vertically in its bounds, as the platform does.
void drawLabel(cairo_t* cr, const platform::Label& label) {
  if (label.text().empty()) return;
  const Rect b = label.bounds();
  TextStyle style;
  style.font = label.font();
  style.width = b.width();
  style.maxLines = label.numberOfLines();
  style.alignment = label.textAlignment();
  style.truncateTail = label.lineBreakMode() == platform::LineBreakMode::TruncatingTail;
  auto& engine = TextEngine::shared();
  PangoLayout* layout = engine.layout(label.text(), style);
  const double height = engine.size(label.text(), style).height;
  const double top = std::round((b.height() - height) * 0.5 * 4) / 4;
  // Pango limits the lines of each paragraph; the label's limit counts every
  // line, so a line break past the limit is cut off here.
  const bool limited = style.maxLines > 0 && pango_layout_get_line_count(layout) > style.maxLines;
  if (limited) {
    cairo_save(cr);
    cairo_rectangle(cr, -b.width(), top, 3 * b.width(), height);
    cairo_clip(cr);
  }
  setColor(cr, label.textColor());
  cairo_move_to(cr, 0, top);
  pango_cairo_show_layout(cr, layout);
  if (limited) cairo_restore(cr);
}

std::string bullets(const std::string& text) {
  std::string out;
  const glong n = g_utf8_strlen(text.data(), static_cast<gssize>(text.size()));
  for (glong i = 0; i < n; ++i) out += "\u2022";
  return out;
}

void drawTextField(cairo_t* cr, const platform::TextField& field) {
  const Rect b = field.bounds();
  switch (field.borderStyle()) {
    case platform::TextBorderStyle::RoundedRect:
      if (!field.backgroundColor()) {
        roundedRect(cr, 0, 0, b.width(), b.height(), kFieldRadius);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_fill(cr);
      }
      // A hairline: one pixel at scale 2.
      roundedRect(cr, 0.25, 0.25, b.width() - 0.5, b.height() - 0.5, kFieldRadius);
      setColor(cr, kFieldBorder);
      cairo_set_line_width(cr, 0.5);
      cairo_stroke(cr);
      break;
    case platform::TextBorderStyle::Line:
    case platform::TextBorderStyle::Bezel:
      cairo_rectangle(cr, 0.5, 0.5, b.width() - 1, b.height() - 1);
      cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
      break;
    case platform::TextBorderStyle::None: break;
  }

  const bool focused = field.isFirstResponder();
  const std::string shown = field.isSecureTextEntry() ? bullets(field.text()) : field.text();
  const std::string& marked = field.markedText();
  const double inner = std::max(0.0, b.width() - 2 * kFieldInset);
  auto& engine = TextEngine::shared();
  TextStyle style;
  style.font = field.font();
  style.maxLines = 1;

  cairo_save(cr);
  cairo_rectangle(cr, kFieldInset, 0, inner, b.height());
  cairo_clip(cr);
  const double lineHeight = engine.lineHeight(field.font());
  const double top = std::round((b.height() - lineHeight) * 0.5 * 4) / 4;
  if (shown.empty() && marked.empty()) {
    if (!field.placeholder().empty()) {
      style.width = inner;
      setColor(cr, kPlaceholder);
      cairo_move_to(cr, kFieldInset, top);
      pango_cairo_show_layout(cr, engine.layout(field.placeholder(), style));
    }
    if (focused) {
      setColor(cr, kCaret);
      cairo_rectangle(cr, kFieldInset, top + 1, 1.5, lineHeight - 2);
      cairo_fill(cr);
    }
    cairo_restore(cr);
    return;
  }

  // The typed text, then the composition underlined; the caret at the
  // composition's cursor (or the end). A text longer than the field shows its end.
  PangoLayout* layout = pango_layout_new(engine.context());
  PangoFontDescription* desc = engine.describe(field.font());
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
  const std::string all = shown + marked;
  pango_layout_set_text(layout, all.data(), static_cast<int>(all.size()));
  if (!marked.empty()) {
    PangoAttrList* attrs = pango_attr_list_new();
    PangoAttribute* underline = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
    underline->start_index = static_cast<guint>(shown.size());
    underline->end_index = static_cast<guint>(all.size());
    pango_attr_list_insert(attrs, underline);
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
  }
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  const double textWidth = logical.width / double(PANGO_SCALE);
  std::size_t caretIndex = all.size();
  if (!marked.empty()) {
    const glong chars = g_utf8_strlen(marked.data(), static_cast<gssize>(marked.size()));
    const glong cursor = std::clamp<glong>(field.markedCursor(), 0, chars);
    caretIndex =
        shown.size() + static_cast<std::size_t>(g_utf8_offset_to_pointer(marked.data(), cursor) - marked.data());
  }
  PangoRectangle caret;
  pango_layout_index_to_pos(layout, static_cast<int>(caretIndex), &caret);
  const double caretX = caret.x / double(PANGO_SCALE);
  const double shift = (focused && textWidth > inner) ? std::max(0.0, caretX - inner + 2) : 0.0;
  setColor(cr, field.textColor());
  cairo_move_to(cr, kFieldInset - shift, top);
  pango_cairo_show_layout(cr, layout);
  if (focused) {
    setColor(cr, kCaret);
    cairo_rectangle(cr, kFieldInset - shift + caretX, top + 1, 1.5, lineHeight - 2);
    cairo_fill(cr);
  }
  g_object_unref(layout);
  cairo_restore(cr);
}

void drawSwitch(cairo_t* cr, const platform::Switch& control) {
  const double w = platform::Switch::kStandardSize.width;
  const double h = platform::Switch::kStandardSize.height;
  const bool on = control.isOn();
  roundedRect(cr, 0, 0, w, h, h / 2);
  setColor(cr, on ? kSwitchOn : kSwitchTrackOff);
  cairo_fill(cr);
  if (!on) {
    roundedRect(cr, 1, 1, w - 2, h - 2, h / 2 - 1);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill(cr);
  }
  const double r = h / 2 - 2;
  const double cx = on ? w - 2 - r : 2 + r;
  cairo_arc(cr, cx, h / 2 + 0.75, r, 0, 2 * M_PI);  // a soft shadow under the knob
  cairo_set_source_rgba(cr, 0, 0, 0, 0.15);
  cairo_fill(cr);
  cairo_arc(cr, cx, h / 2, r, 0, 2 * M_PI);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_fill(cr);
}

// Key caps on the keyboard's plain view, so that it reads as a keyboard: three
// rows of letters and a row with the space bar, over the safe area's inset.
void drawKeyboardKeys(cairo_t* cr, double w, double h) {
  static const char* const rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
  const double usable = h - platform::Application::shared().safeAreaInsets().bottom;
  const double rowHeight = usable / 4;
  const double gap = 6;
  const double keyWidth = (w - gap) / 10 - gap;
  const double keyHeight = rowHeight - 10;
  auto key = [&](double x, double y, double width, const std::string& label, bool special) {
    roundedRect(cr, x, y + 1, width, keyHeight, 5);  // the key's shadow
    cairo_set_source_rgba(cr, 0, 0, 0, 0.3);
    cairo_fill(cr);
    roundedRect(cr, x, y, width, keyHeight, 5);
    if (special) {
      cairo_set_source_rgb(cr, 0.67, 0.70, 0.74);
    } else {
      cairo_set_source_rgb(cr, 1, 1, 1);
    }
    cairo_fill(cr);
    if (label.empty()) return;
    TextStyle style;
    style.font = platform::Font::systemFont(special ? 14 : 20);
    style.width = width;
    style.alignment = platform::TextAlignment::Center;
    auto& engine = TextEngine::shared();
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, x, y + (keyHeight - engine.size(label, style).height) / 2);
    pango_cairo_show_layout(cr, engine.layout(label, style));
  };
  for (int r = 0; r < 3; ++r) {
    const std::string letters = rows[r];
    const double n = static_cast<double>(letters.size());
    double x = (w - n * keyWidth - (n - 1) * gap) / 2;
    const double y = r * rowHeight + 6;
    if (r == 2) {
      key(gap / 2 + 2, y, keyWidth * 1.4, "\u21e7", true);
      key(w - gap / 2 - 2 - keyWidth * 1.4, y, keyWidth * 1.4, "\u232b", true);
    }
    for (std::size_t i = 0; i < letters.size(); ++i, x += keyWidth + gap)
      key(x, y, keyWidth, letters.substr(i, 1), false);
  }
  const double y = 3 * rowHeight + 6;
  const double side = keyWidth * 2.5;
  key(gap / 2 + 2, y, side, "123", true);
  key(gap / 2 + 2 + side + gap, y, w - 2 * (side + gap) - gap - 4, "", false);
  key(w - gap / 2 - 2 - side, y, side, "return", true);
}

}  // namespace

// Laid-out pages of the web views on screen, dropped when their view goes or
// its page or width changes.
struct Renderer::Pages {
  struct Entry {
    std::weak_ptr<platform::View> view;
    std::string url;
    std::size_t textHash = 0;
    int width = 0;
    std::unique_ptr<HtmlPage> page;
  };
  std::map<const platform::View*, Entry> entries;

  HtmlPage* pageFor(platform::WebView& view) {
    const std::string url = view.url().value_or("");
    const std::size_t hash = std::hash<std::string>()(view.pageText());
    const int width = static_cast<int>(std::floor(view.bounds().width()));
    auto& e = entries[&view];
    if (e.view.lock().get() != &view || !e.page || e.url != url || e.textHash != hash || e.width != width) {
      e.view = view.weak_from_this();
      e.url = url;
      e.textHash = hash;
      e.width = width;
      e.page = std::make_unique<HtmlPage>(view.pageText(), url, width);
    }
    return e.page.get();
  }

  void prune() {
    std::erase_if(entries, [](const auto& item) { return item.second.view.expired(); });
  }
};

struct Renderer::KeyCaps {
  ~KeyCaps() { cairo_surface_destroy(picture); }
  double width = 0, height = 0, scale = 0, bottomInset = 0;
  bool fontsReady = false;
  cairo_surface_t* picture = nullptr;
};

void Renderer::drawKeyboard(cairo_t* cr, double w, double h) {
  const auto& app = platform::Application::shared();
  const double scale = app.screenScale();
  const double inset = app.safeAreaInsets().bottom;
  const bool fontsReady = TextEngine::ready();
  if (!keys_ || keys_->width != w || keys_->height != h || keys_->scale != scale || keys_->bottomInset != inset ||
      keys_->fontsReady != fontsReady) {
    keys_ = std::make_unique<KeyCaps>();
    keys_->width = w;
    keys_->height = h;
    keys_->scale = scale;
    keys_->bottomInset = inset;
    keys_->fontsReady = fontsReady;
    keys_->picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(std::ceil(w * scale)),
                                                static_cast<int>(std::ceil(h * scale)));
    cairo_t* k = cairo_create(keys_->picture);
    cairo_scale(k, scale, scale);
    drawKeyboardKeys(k, w, h);
    cairo_destroy(k);
  }
  // Copied pixel for pixel: a keyboard between two pixels on its way up is
  // drawn at the nearer one.
  cairo_save(cr);
  cairo_scale(cr, 1 / scale, 1 / scale);
  cairo_set_source_surface(cr, keys_->picture, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_restore(cr);
}

Renderer& Renderer::shared() {
  static auto* renderer = new Renderer();  // lives as long as the process
  return *renderer;
}

Renderer::Renderer() : pages_(std::make_unique<Pages>()) {}

void Renderer::drawScreen(cairo_t* cr, platform::TimePoint at) {
  pages_->prune();
  for (const auto& window : platform::Application::shared().windows()) {
    if (window) drawView(cr, *window, at);
  }
}

void Renderer::drawOwn(cairo_t* cr, platform::View& view, double w, double h, double ownAlpha) {
  if (const auto& bg = view.backgroundColor(); bg && bg->alpha > 0) {
    roundedRect(cr, 0, 0, w, h, view.cornerRadius());
    cairo_set_source_rgba(cr, bg->red, bg->green, bg->blue, bg->alpha * ownAlpha);
    cairo_fill(cr);
  }
  if (auto* label = dynamic_cast<platform::Label*>(&view)) {
    drawLabel(cr, *label);
  } else if (auto* field = dynamic_cast<platform::TextField*>(&view)) {
    drawTextField(cr, *field);
  } else if (auto* control = dynamic_cast<platform::Switch*>(&view)) {
    drawSwitch(cr, *control);
  } else if (&view == platform::Keyboard::shared().view().get()) {
    drawKeyboard(cr, w, h);
  } else if (auto* web = dynamic_cast<platform::WebView*>(&view)) {
    if (!web->pageText().empty() && w > 0 && h > 0) {
      HtmlPage* page = pages_->pageFor(*web);
      web->setContentSize({w, static_cast<double>(page->height())});
      page->draw(cr, web->contentOffset().y, h);
    }
  }
}

void Renderer::drawView(cairo_t* cr, platform::View& view, platform::TimePoint at) {
  if (view.isHidden()) return;
  const double alpha = std::clamp(view.presentationAlphaAt(at), 0.0, 1.0);
  if (alpha <= 0.001) return;
  const Rect frame = view.frame();
  const platform::Point center = view.presentationCenterAt(at);
  const double w = frame.width();
  const double h = frame.height();

  cairo_save(cr);
  cairo_translate(cr, center.x - w * 0.5, center.y - h * 0.5);
  // A redraw of part of the screen skips what lies outside it (with the bleed
  // the damage counts).
  double cx0, cy0, cx1, cy1;
  cairo_clip_extents(cr, &cx0, &cy0, &cx1, &cy1);
  const double b = platform::kDrawBleed;
  const bool inClip = cx0 < w + b && cx1 > -b && cy0 < h + b && cy1 > -b;
  if (!inClip && (view.clipsToBounds() || view.subviews().empty())) {
    cairo_restore(cr);
    return;
  }
  // A view with alpha is drawn into a group painted with that alpha, unless it
  // is a plain view without subviews: its background then takes the alpha.
  const bool plainLeaf = view.subviews().empty() && typeid(view) == typeid(platform::View);
  const bool group = alpha < 0.999 && !plainLeaf;
  if (group) cairo_push_group(cr);
  if (inClip) drawOwn(cr, view, w, h, group ? 1.0 : alpha);

  if (!view.subviews().empty()) {
    if (view.clipsToBounds()) {
      roundedRect(cr, 0, 0, w, h, view.cornerRadius());
      cairo_clip(cr);
    }
    for (const auto& sub : view.subviews()) {
      if (sub) drawView(cr, *sub, at);
    }
  }

  if (group) {
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, alpha);
  }
  cairo_restore(cr);
}

}  // namespace tolba::render
