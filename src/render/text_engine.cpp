#include "render/text_engine.h"

#include <pango/pangocairo.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/utf8.h"
#include "tolba/platform/log.h"
#include "toolkit/application.h"

namespace tolba::render {
namespace {

// Layouts kept between frames; a panel has a few dozen texts.
constexpr std::size_t kCacheLimit = 256;

PangoWeight pangoWeight(platform::FontWeight weight) {
  switch (weight) {
    case platform::FontWeight::Medium: return PANGO_WEIGHT_MEDIUM;
    case platform::FontWeight::Bold: return PANGO_WEIGHT_BOLD;
    case platform::FontWeight::Regular: break;
  }
  return PANGO_WEIGHT_NORMAL;
}

PangoAlignment pangoAlignment(platform::TextAlignment alignment) {
  switch (alignment) {
    case platform::TextAlignment::Center: return PANGO_ALIGN_CENTER;
    case platform::TextAlignment::Right: return PANGO_ALIGN_RIGHT;
    case platform::TextAlignment::Left: break;
  }
  return PANGO_ALIGN_LEFT;
}

// The style's fields as raw bytes, then the text: exact, and without the
// decimal formatting of two doubles for every label drawn.
std::string cacheKey(const std::string& text, const TextStyle& s) {
  const double width = std::isfinite(s.width) && s.width < 1e6 ? s.width : -1;
  const std::int32_t fields[] = {static_cast<std::int32_t>(s.font.weight), static_cast<std::int32_t>(s.maxLines),
                                 static_cast<std::int32_t>(s.alignment), s.truncateTail ? 1 : 0};
  std::string key(sizeof(double) * 2 + sizeof fields, '\0');
  std::memcpy(key.data(), &s.font.pointSize, sizeof(double));
  std::memcpy(key.data() + sizeof(double), &width, sizeof(double));
  std::memcpy(key.data() + 2 * sizeof(double), fields, sizeof fields);
  key += text;
  return key;
}

// Every character the panels, toasts and buttons show, and the printable ASCII
// letters that names, amounts and codes are typed in.
constexpr char kPanelCharacters[] =
    " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~"
    "、上不中主义了五交人仅今付价份余信值假元充先入六关具册出分切列初剩功加务化协单去参取口可台号合名后周和品商器回"
    "国在备失如始姓定实家密展工已币常平年序开异录微心意戏成户打扩报据接提支政数无日时显有服未束果栏根格正沉没法注消"
    "渠游用界登知码确示离私秒程稍策线结络网聚至色节藏行要规角解订认议设证试误请读调败账足距身转输返还进连迷退通道里"
    "重钟错闭间阅防隐需面额，：？•…¥";

// The sizes and weights the toolkit's controls and the panels set text in.
constexpr platform::Font kPanelFonts[] = {
    platform::Font::systemFont(12), platform::Font::systemFont(13),
    platform::Font::systemFont(14), platform::Font::systemFont(15),
    platform::Font::systemFont(16), platform::Font::boldSystemFont(16),
    platform::Font::systemFont(17), platform::Font::systemFont(18),
    platform::Font::systemFont(20), platform::Font::systemFont(20, platform::FontWeight::Medium),
};

// The worker that prepares an engine, and the engine it hands over.
struct WarmUp {
  std::mutex mutex;
  std::thread worker;
  std::atomic<TextEngine*> prepared{nullptr};
  ~WarmUp() {
    std::lock_guard lock(mutex);
    if (worker.joinable()) worker.join();
  }
};

WarmUp& warmUpState() {
  static WarmUp state;
  return state;
}

TextEngine* sharedEngine = nullptr;  // main thread

}  // namespace

struct TextEngine::Cache {
  std::unordered_map<std::string, PangoLayout*> layouts;
  ~Cache() { clear(); }
  void clear() {
    for (auto& [key, layout] : layouts) g_object_unref(layout);
    layouts.clear();
  }
};

TextEngine& TextEngine::shared() {
  // Engines live as long as the process.
  if (!sharedEngine) sharedEngine = warmUpState().prepared.load(std::memory_order_acquire);
  if (!sharedEngine) {
    // Built here while a warm-up still runs: the warm-up reports a missing font.
    bool warming;
    {
      std::lock_guard lock(warmUpState().mutex);
      warming = warmUpState().worker.joinable();
    }
    sharedEngine = new TextEngine(pango_cairo_font_map_get_default(), !warming);
  }
  return *sharedEngine;
}

bool TextEngine::ready() { return sharedEngine || warmUpState().prepared.load(std::memory_order_acquire) != nullptr; }

void TextEngine::warmUp(double scale) {
  auto& state = warmUpState();
  std::lock_guard lock(state.mutex);
  if (state.worker.joinable() || sharedEngine) return;
  if (!(scale > 0) || scale > 8) scale = 1;
  state.worker = std::thread([&state, scale] {
    auto* engine = new TextEngine(pango_cairo_font_map_new(), true);
    // Draw every character in every panel font at the screen's scale: cairo
    // keeps the glyphs it rasterised for the main thread's frames.
    const int side = static_cast<int>(std::ceil(64 * scale));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, side * 16, side);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scale, scale);
    for (const auto& font : kPanelFonts) {
      TextStyle style;
      style.font = font;
      pango_cairo_show_layout(cr, engine->layout(kPanelCharacters, style));
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    engine->cache_->clear();
    state.prepared.store(engine, std::memory_order_release);
  });
}

TextEngine::TextEngine(PangoFontMap* map, bool report) : cache_(std::make_unique<Cache>()) {
  context_ = pango_font_map_create_context(map);
  // Metrics that do not depend on the scale: measuring at 1x matches drawing at 2x.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context_, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(context_, FALSE);
  PangoLanguage* chinese = pango_language_from_string("zh-cn");
  pango_context_set_language(context_, chinese);

  // Which family fontconfig really gives for ours.
  PangoFontDescription* desc = describe(platform::Font::systemFont(17));
  if (PangoFont* font = pango_font_map_load_font(map, context_, desc)) {
    PangoFontDescription* got = pango_font_describe(font);
    const char* family = pango_font_description_get_family(got);
    hasFamily_ = family && std::string(family) == kFontFamily;
    if (!hasFamily_ && report) {
      platform::log(std::string("render: the font \"") + kFontFamily + "\" is not installed (Debian package " +
                    "fonts-wqy-microhei); drawing with \"" + (family ? family : "?") +
                    "\" instead, Chinese text may show as boxes");
    }
    pango_font_description_free(got);
    g_object_unref(font);
  } else {
    platform::log("render: no font at all could be loaded; text will not be drawn");
  }
  pango_font_description_free(desc);
}

PangoFontDescription* TextEngine::describe(const platform::Font& font) const {
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, kFontFamily);
  const double size = font.pointSize > 0 ? font.pointSize : 17;
  pango_font_description_set_absolute_size(desc, size * PANGO_SCALE);
  pango_font_description_set_weight(desc, pangoWeight(font.weight));
  return desc;
}

PangoLayout* TextEngine::layout(const std::string& text, const TextStyle& style) {
  std::string key = cacheKey(text, style);
  if (auto it = cache_->layouts.find(key); it != cache_->layouts.end()) return it->second;
  if (cache_->layouts.size() >= kCacheLimit) cache_->clear();

  PangoLayout* layout = pango_layout_new(context_);
  PangoFontDescription* desc = describe(style.font);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
  // A width beyond any screen (the toast measures in the largest float) is no limit.
  const bool bounded = std::isfinite(style.width) && style.width > 0 && style.width < 1e6;
  if (bounded) {
    pango_layout_set_width(layout, static_cast<int>(std::lround(style.width * PANGO_SCALE)));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(layout, pangoAlignment(style.alignment));
  }
  // Lines 1.2 font sizes apart, as the platform's system font sets them (the
  // family's own line height is larger: two lines would not fit a round button).
  PangoFontMetrics* metrics = pango_context_get_metrics(context_, pango_layout_get_font_description(layout), nullptr);
  const int natural = pango_font_metrics_get_height(metrics);
  pango_font_metrics_unref(metrics);
  if (natural > 0) {
    pango_layout_set_line_spacing(layout, static_cast<float>(1.2 * style.font.pointSize * PANGO_SCALE / natural));
  }
  if (style.maxLines > 0) {
    // Pango keeps at most this many lines only while it ellipsizes.
    pango_layout_set_height(layout, -style.maxLines);
    if (bounded) pango_layout_set_ellipsize(layout, style.truncateTail ? PANGO_ELLIPSIZE_END : PANGO_ELLIPSIZE_NONE);
  }
  // Invalid UTF-8 would make pango refuse the text; show what is valid.
  if (platform::utf8::isValid(text)) {
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  } else {
    const std::string valid = platform::utf8::makeValid(text);
    pango_layout_set_text(layout, valid.data(), static_cast<int>(valid.size()));
  }
  cache_->layouts.emplace(std::move(key), layout);
  return layout;
}

platform::Size TextEngine::size(const std::string& text, const TextStyle& style) {
  if (text.empty()) return {0, 0};
  PangoLayout* l = layout(text, style);
  // Without a width pango does not cut lines off: count only those kept.
  const int lines = pango_layout_get_line_count(l);
  const int kept = style.maxLines > 0 ? std::min(lines, style.maxLines) : lines;
  double width = 0;
  double bottom = 0;
  PangoLayoutIter* iter = pango_layout_get_iter(l);
  int index = 0;
  do {
    if (index >= kept) break;
    PangoRectangle logical;
    pango_layout_iter_get_line_extents(iter, nullptr, &logical);
    width = std::max(width, static_cast<double>(logical.width) / PANGO_SCALE);
    bottom = static_cast<double>(logical.y + logical.height) / PANGO_SCALE;
    ++index;
  } while (pango_layout_iter_next_line(iter));
  pango_layout_iter_free(iter);
  // Whole points, as the platform's labels size themselves.
  return {std::ceil(width), std::ceil(bottom)};
}

double TextEngine::lineHeight(const platform::Font& font) {
  TextStyle style;
  style.font = font;
  PangoLayout* l = layout("国", style);
  PangoRectangle logical;
  pango_layout_get_extents(l, nullptr, &logical);
  return static_cast<double>(logical.height) / PANGO_SCALE;
}

int TextEngine::missingGlyphs(const std::string& text, const TextStyle& style) {
  return pango_layout_get_unknown_glyphs_count(layout(text, style));
}

platform::Size PangoTextMeasurer::measure(const std::string& text, const platform::Font& font, double maxWidth,
                                          int maxLines) const {
  TextStyle style;
  style.font = font;
  style.width = maxWidth;
  style.maxLines = maxLines;
  return TextEngine::shared().size(text, style);
}

double PangoTextMeasurer::lineHeight(const platform::Font& font) const { return TextEngine::shared().lineHeight(font); }

void installTextMeasurer() {
  if (dynamic_cast<const PangoTextMeasurer*>(&platform::TextMeasurer::current())) return;
  // The fonts load on first use, from the warmed engine when it is ready.
  TextEngine::warmUp(platform::Application::shared().screenScale());
  platform::TextMeasurer::setCurrent(std::make_shared<PangoTextMeasurer>());
}

}  // namespace tolba::render
