#include "render/html_page.h"
#include "render/rounded_rect.h"

#include <litehtml/litehtml.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/utf8.h"
#include "render/text_engine.h"
#include "tolba/platform/log.h"

namespace tolba::render {
namespace {

// The defaults a browser gives elements before the page's own styles.
constexpr char kDefaultStyles[] = R"css(
html, address, blockquote, body, dd, div, dl, dt, fieldset, form, h1, h2, h3, h4, h5, h6,
ol, p, ul, center, hr, menu, pre, header, footer, nav, section, article, main, aside, figure { display: block; }
head, script, style, title, meta, link, template, noscript { display: none; }
li { display: list-item; }
table { display: table; border-collapse: separate; border-spacing: 2px; }
thead { display: table-header-group; } tbody { display: table-row-group; } tfoot { display: table-footer-group; }
tr { display: table-row; } td, th { display: table-cell; padding: 1px; } th { font-weight: bold; }
body { margin: 8px; color: black; }
h1 { font-size: 2em; margin: 0.67em 0; font-weight: bold; }
h2 { font-size: 1.5em; margin: 0.83em 0; font-weight: bold; }
h3 { font-size: 1.17em; margin: 1em 0; font-weight: bold; }
h4, h5, h6 { margin: 1.33em 0; font-weight: bold; }
p, blockquote, dl, ul, ol { margin: 1em 0; }
ul, ol { padding-left: 40px; } ul { list-style-type: disc; } ol { list-style-type: decimal; }
b, strong { font-weight: bold; } i, em { font-style: italic; }
a { color: #0000ee; text-decoration: underline; }
pre { white-space: pre; } center { text-align: center; }
hr { border-top: 1px solid #888888; margin: 0.5em 0; }
)css";

// Larger pages are not laid out as HTML (the engine's time and depth grow with them).
constexpr std::size_t kLargestDocument = 1024 * 1024;

litehtml::context& sharedContext() {
  static auto* context = [] {
    auto* c = new litehtml::context();
    c->load_master_stylesheet(kDefaultStyles);
    return c;
  }();
  return *context;
}

void setColor(cairo_t* cr, const litehtml::web_color& c) {
  cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}

void roundedRect(cairo_t* cr, const litehtml::position& p, const litehtml::border_radiuses& r) {
  render::roundedRect(cr, p.x, p.y, p.width, p.height,
                      CornerRadii{static_cast<double>(r.top_left_x), static_cast<double>(r.top_right_x),
                                  static_cast<double>(r.bottom_right_x), static_cast<double>(r.bottom_left_x)});
}

// Decodes one UTF-8 character at `i` (a malformed byte counts as one).
std::uint32_t nextCodePoint(const char* s, std::size_t& i) {
  const auto* u = reinterpret_cast<const unsigned char*>(s);
  const gunichar c = g_utf8_get_char_validated(s + i, -1);
  if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) return u[i++];
  i = static_cast<std::size_t>(g_utf8_next_char(s + i) - s);
  return c;
}

// Characters a line may break before and after: ideographs, kana, hangul and
// full-width forms.
bool breaksLikeIdeograph(std::uint32_t c) { return c >= 0x2E80 && !(c >= 0xD800 && c <= 0xDFFF); }

struct HtmlFont {
  PangoFontDescription* description = nullptr;
  bool underline = false;
  bool strike = false;
};

// The plain text of a page: what is between its tags, without the head, scripts
// and styles, blocks on lines of their own and the common entities decoded. One
// pass, no backtracking: any page, however odd, takes time in proportion to it.
std::string plainText(const std::string& html) {
  auto lower = [](std::string t) {
    for (auto& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
  };
  std::string text;
  std::string skipUntil;  // "</head", "</script" or "</style" while inside one
  std::size_t i = 0;
  while (i < html.size()) {
    if (html[i] != '<') {
      if (skipUntil.empty()) text += html[i];
      ++i;
      continue;
    }
    const std::size_t close = html.find('>', i);
    if (close == std::string::npos) break;
    std::size_t nameEnd = i + 1;
    while (nameEnd < close && !std::isspace(static_cast<unsigned char>(html[nameEnd])) && html[nameEnd] != '>') {
      ++nameEnd;
    }
    const std::string name = lower(html.substr(i + 1, nameEnd - i - 1));
    if (!skipUntil.empty()) {
      if (name == skipUntil.substr(1)) skipUntil.clear();
    } else if (name == "head" || name == "script" || name == "style") {
      skipUntil = "</" + name;
    } else if (name == "br" || name == "br/" || name == "/p" || name == "/div" || name == "/li" || name == "/tr" ||
               (name.size() == 3 && name[0] == '/' && name[1] == 'h' && name[2] >= '1' && name[2] <= '6')) {
      text += '\n';
    }
    i = close + 1;
  }
  const std::pair<const char*, const char*> entities[] = {{"&lt;", "<"},  {"&gt;", ">"},   {"&quot;", "\""},
                                                          {"&#39;", "'"}, {"&nbsp;", " "}, {"&amp;", "&"}};
  for (const auto& [from, to] : entities) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + std::strlen(to))) {
      text.replace(at, std::strlen(from), to);
    }
  }
  return text;
}

}  // namespace

struct HtmlPage::Impl final : litehtml::document_container {
  std::string baseUrl;
  int width = 0;
  int viewHeight = 0;
  litehtml::document::ptr document;
  std::string fallbackText;
  PangoLayout* scratch = nullptr;  // for measuring words
  std::vector<litehtml::position> clips;

  Impl() : scratch(pango_layout_new(TextEngine::shared().context())) {}
  ~Impl() {
    document.reset();  // deletes its fonts through us
    g_object_unref(scratch);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  static cairo_t* context(litehtml::uint_ptr hdc) { return reinterpret_cast<cairo_t*>(hdc); }
  static HtmlFont* font(litehtml::uint_ptr handle) { return reinterpret_cast<HtmlFont*>(handle); }

  void applyClips(cairo_t* cr) const {
    for (const auto& c : clips) cairo_rectangle(cr, c.x, c.y, c.width, c.height);
    if (!clips.empty()) cairo_clip(cr);
  }

  // --- fonts and text
  litehtml::uint_ptr create_font(const litehtml::tchar_t* faceName, int size, int weight, litehtml::font_style italic,
                                 unsigned int decoration, litehtml::font_metrics* fm) override {
    auto* f = new HtmlFont();
    f->description = pango_font_description_new();
    // Our family first: the page's own families are mostly Latin-only or generic.
    std::string families = kFontFamily;
    if (faceName && *faceName) families += std::string(",") + faceName;
    pango_font_description_set_family(f->description, families.c_str());
    pango_font_description_set_absolute_size(f->description, std::max(1, size) * PANGO_SCALE);
    pango_font_description_set_weight(f->description, static_cast<PangoWeight>(std::clamp(weight, 100, 1000)));
    pango_font_description_set_style(f->description,
                                     italic == litehtml::fontStyleItalic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    f->underline = (decoration & litehtml::font_decoration_underline) != 0;
    f->strike = (decoration & litehtml::font_decoration_linethrough) != 0;
    if (fm) {
      PangoFontMetrics* metrics = pango_context_get_metrics(TextEngine::shared().context(), f->description, nullptr);
      fm->ascent = static_cast<int>(std::lround(pango_font_metrics_get_ascent(metrics) / double(PANGO_SCALE)));
      fm->descent = static_cast<int>(std::lround(pango_font_metrics_get_descent(metrics) / double(PANGO_SCALE)));
      fm->height = fm->ascent + fm->descent;
      fm->x_height = std::max(1, fm->ascent / 2);
      fm->draw_spaces = f->underline || f->strike;
      pango_font_metrics_unref(metrics);
    }
    return reinterpret_cast<litehtml::uint_ptr>(f);
  }

  void delete_font(litehtml::uint_ptr handle) override {
    if (auto* f = font(handle)) {
      pango_font_description_free(f->description);
      delete f;
    }
  }

  void setLayoutText(PangoLayout* layout, const char* text, const HtmlFont& f) const {
    pango_layout_set_font_description(layout, f.description);
    pango_layout_set_text(layout, text, -1);
  }

  int text_width(const litehtml::tchar_t* text, litehtml::uint_ptr handle) override {
    if (!text || !handle || !g_utf8_validate(text, -1, nullptr)) return 0;
    setLayoutText(scratch, text, *font(handle));
    PangoRectangle logical;
    pango_layout_get_extents(scratch, nullptr, &logical);
    return static_cast<int>(std::ceil(logical.width / double(PANGO_SCALE)));
  }

  void draw_text(litehtml::uint_ptr hdc, const litehtml::tchar_t* text, litehtml::uint_ptr handle,
                 litehtml::web_color color, const litehtml::position& pos) override {
    if (!text || !handle || !g_utf8_validate(text, -1, nullptr)) return;
    const HtmlFont& f = *font(handle);
    cairo_t* cr = context(hdc);
    PangoLayout* layout = pango_layout_new(TextEngine::shared().context());
    setLayoutText(layout, text, f);
    if (f.underline || f.strike) {
      PangoAttrList* attrs = pango_attr_list_new();
      if (f.underline) pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
      if (f.strike) pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
      pango_layout_set_attributes(layout, attrs);
      pango_attr_list_unref(attrs);
    }
    cairo_save(cr);
    applyClips(cr);
    setColor(cr, color);
    cairo_move_to(cr, pos.x, pos.y);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
  }

  int pt_to_px(int pt) const override { return static_cast<int>(std::lround(pt * 96.0 / 72.0)); }
  int get_default_font_size() const override { return 16; }
  const litehtml::tchar_t* get_default_font_name() const override { return kFontFamily; }

  void transform_text(litehtml::tstring& text, litehtml::text_transform tt) override {
    if (text.empty() || !g_utf8_validate(text.c_str(), -1, nullptr)) return;
    gchar* out = nullptr;
    switch (tt) {
      case litehtml::text_transform_uppercase: out = g_utf8_strup(text.c_str(), -1); break;
      case litehtml::text_transform_lowercase: out = g_utf8_strdown(text.c_str(), -1); break;
      case litehtml::text_transform_capitalize: {
        const gchar* rest = g_utf8_next_char(text.c_str());
        gchar* first = g_utf8_strup(text.c_str(), rest - text.c_str());
        text = std::string(first) + rest;
        g_free(first);
        return;
      }
      case litehtml::text_transform_none: return;
    }
    if (out) {
      text = out;
      g_free(out);
    }
  }

  // Words for line breaking: runs between spaces, and each ideograph alone (a
  // Chinese sentence has no spaces, and may break between any two characters).
  void split_text(const char* text, const std::function<void(const litehtml::tchar_t*)>& on_word,
                  const std::function<void(const litehtml::tchar_t*)>& on_space) override {
    if (!text) return;
    std::string word;
    auto flush = [&] {
      if (!word.empty()) on_word(word.c_str());
      word.clear();
    };
    std::size_t i = 0;
    while (text[i]) {
      const std::size_t start = i;
      const std::uint32_t c = nextCodePoint(text, i);
      const std::string ch(text + start, i - start);
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
        flush();
        on_space(ch.c_str());
      } else if (breaksLikeIdeograph(c)) {
        flush();
        on_word(ch.c_str());
      } else {
        word += ch;
      }
    }
    flush();
  }

  // --- boxes
  void draw_list_marker(litehtml::uint_ptr hdc, const litehtml::list_marker& marker) override {
    cairo_t* cr = context(hdc);
    cairo_save(cr);
    applyClips(cr);
    setColor(cr, marker.color);
    const auto& p = marker.pos;
    const double r = std::min(p.width, p.height) / 2.0;
    switch (marker.marker_type) {
      case litehtml::list_style_type_none: break;
      case litehtml::list_style_type_circle:
        cairo_set_line_width(cr, 1);
        cairo_arc(cr, p.x + p.width / 2.0, p.y + p.height / 2.0, std::max(0.5, r - 0.5), 0, 2 * M_PI);
        cairo_stroke(cr);
        break;
      case litehtml::list_style_type_square:
        cairo_rectangle(cr, p.x, p.y, p.width, p.height);
        cairo_fill(cr);
        break;
      default:
        cairo_arc(cr, p.x + p.width / 2.0, p.y + p.height / 2.0, r, 0, 2 * M_PI);
        cairo_fill(cr);
        break;
    }
    cairo_restore(cr);
  }

  void load_image(const litehtml::tchar_t*, const litehtml::tchar_t*, bool) override {}
  void get_image_size(const litehtml::tchar_t*, const litehtml::tchar_t*, litehtml::size& sz) override {
    sz.width = 0;
    sz.height = 0;
  }

  void draw_background(litehtml::uint_ptr hdc, const litehtml::background_paint& bg) override {
    if (bg.color.alpha == 0) return;  // images are not loaded
    cairo_t* cr = context(hdc);
    cairo_save(cr);
    applyClips(cr);
    roundedRect(cr, bg.clip_box, bg.border_radius);
    setColor(cr, bg.color);
    cairo_fill(cr);
    cairo_restore(cr);
  }

  void draw_borders(litehtml::uint_ptr hdc, const litehtml::borders& b, const litehtml::position& p,
                    bool /*root*/) override {
    cairo_t* cr = context(hdc);
    cairo_save(cr);
    applyClips(cr);
    auto side = [&](const litehtml::border& border, double x, double y, double w, double h) {
      if (border.width <= 0 || border.style == litehtml::border_style_none ||
          border.style == litehtml::border_style_hidden) {
        return;
      }
      setColor(cr, border.color);
      cairo_rectangle(cr, x, y, w, h);
      cairo_fill(cr);
    };
    side(b.top, p.x, p.y, p.width, b.top.width);
    side(b.bottom, p.x, p.bottom() - b.bottom.width, p.width, b.bottom.width);
    side(b.left, p.x, p.y, b.left.width, p.height);
    side(b.right, p.right() - b.right.width, p.y, b.right.width, p.height);
    cairo_restore(cr);
  }

  void set_caption(const litehtml::tchar_t*) override {}
  void set_base_url(const litehtml::tchar_t* url) override {
    if (url) baseUrl = url;
  }
  void link(const std::shared_ptr<litehtml::document>&, const litehtml::element::ptr&) override {}
  void on_anchor_click(const litehtml::tchar_t*, const litehtml::element::ptr&) override {}
  void set_cursor(const litehtml::tchar_t*) override {}
  // External style sheets are not fetched.
  void import_css(litehtml::tstring&, const litehtml::tstring&, litehtml::tstring&) override {}
  void set_clip(const litehtml::position& pos, const litehtml::border_radiuses&, bool, bool) override {
    clips.push_back(pos);
  }
  void del_clip() override {
    if (!clips.empty()) clips.pop_back();
  }
  void get_client_rect(litehtml::position& client) const override {
    client = litehtml::position(0, 0, width, viewHeight > 0 ? viewHeight : width);
  }
  std::shared_ptr<litehtml::element> create_element(const litehtml::tchar_t*, const litehtml::string_map&,
                                                    const std::shared_ptr<litehtml::document>&) override {
    return nullptr;
  }
  void get_media_features(litehtml::media_features& media) const override {
    media.type = litehtml::media_type_screen;
    media.width = width;
    media.height = viewHeight > 0 ? viewHeight : width;
    media.device_width = width;
    media.device_height = media.height;
    media.color = 8;
    media.monochrome = 0;
    media.color_index = 256;
    media.resolution = 96;
  }
  void get_language(litehtml::tstring& language, litehtml::tstring& culture) const override {
    language = "zh";
    culture = "zh-CN";
  }
};

HtmlPage::HtmlPage(const std::string& html, const std::string& baseUrl, int width) : impl_(std::make_unique<Impl>()) {
  impl_->baseUrl = baseUrl;
  impl_->width = std::max(1, width);
  // Bytes that are not UTF-8 become U+FFFD. A page too large to be a document
  // is shown as its text.
  const std::string valid = platform::utf8::makeValid(html);
  if (valid.size() <= kLargestDocument) {
    impl_->document = litehtml::document::createFromUTF8(valid.c_str(), impl_.get(), &sharedContext());
  }
  if (impl_->document) {
    impl_->document->render(impl_->width);
  } else {
    platform::log("render: the page at " + baseUrl + " could not be laid out as HTML; showing its text");
    impl_->fallbackText = plainText(valid);
  }
}

HtmlPage::~HtmlPage() = default;

bool HtmlPage::usesHtmlEngine() const { return impl_->document != nullptr; }

int HtmlPage::height() const {
  if (impl_->document) return impl_->document->height();
  TextStyle style;
  style.font = platform::Font::systemFont(16);
  style.width = impl_->width - 16;
  return static_cast<int>(TextEngine::shared().size(impl_->fallbackText, style).height) + 16;
}

void HtmlPage::draw(cairo_t* cr, double scrollY, double viewHeight) {
  impl_->viewHeight = static_cast<int>(viewHeight);
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, impl_->width, viewHeight);
  cairo_clip(cr);
  if (impl_->document) {
    impl_->clips.clear();
    // Everything is drawn; cairo's clip keeps it to the view.
    impl_->document->draw(reinterpret_cast<litehtml::uint_ptr>(cr), 0, -static_cast<int>(std::lround(scrollY)),
                          nullptr);
  } else {
    TextStyle style;
    style.font = platform::Font::systemFont(16);
    style.width = impl_->width - 16;
    PangoLayout* layout = TextEngine::shared().layout(impl_->fallbackText, style);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, 8, 8 - scrollY);
    pango_cairo_show_layout(cr, layout);
  }
  cairo_restore(cr);
}

}  // namespace tolba::render
