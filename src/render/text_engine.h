#pragma once
// Text with pango: the fonts the renderer draws with, layouts of the toolkit's
// texts (kept in a small cache, since a panel draws the same texts every frame),
// and the text measurer that gives layout code the same metrics. Main thread only,
// except warmUp(), which prepares an engine on a worker for the main thread to
// take over.
//
// All text is set in one family, WenQuanYi Micro Hei (Debian's fonts-wqy-microhei,
// which has both Chinese and Latin letters); fontconfig falls back to any other
// font when it is missing, and the first use logs that Chinese text may then show
// as boxes. Sizes are in points: the layouts are scale-free (no hinted metrics),
// so what is measured at one scale is what is drawn at any other.

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "toolkit/font.h"
#include "toolkit/geometry.h"
#include "toolkit/label.h"
#include "toolkit/text_measurer.h"

typedef struct _PangoContext PangoContext;
typedef struct _PangoFontMap PangoFontMap;
typedef struct _PangoLayout PangoLayout;
typedef struct _PangoFontDescription PangoFontDescription;

namespace tolba::render {

inline constexpr char kFontFamily[] = "WenQuanYi Micro Hei";

// How a text is laid out: the width it wraps or truncates in (infinity: one
// line per paragraph, as long as it is), the number of lines (0: any) and the
// alignment inside that width.
struct TextStyle {
  platform::Font font;
  double width = std::numeric_limits<double>::infinity();
  int maxLines = 0;
  platform::TextAlignment alignment = platform::TextAlignment::Left;
  bool truncateTail = true;  // the last line ends in "…" when text is cut off
};

class TextEngine {
 public:
  // The engine the main thread draws and measures with: the one warmUp()
  // prepared when it is ready, otherwise one built here and now (slower: it
  // loads the fonts on the calling thread).
  static TextEngine& shared();

  // Loads the fonts, shapes and rasterises the panels' characters at `scale` on
  // a worker thread, so that the first panel draws as fast as the tenth. Once;
  // later calls do nothing. Nobody waits for it: shared() takes its engine only
  // when it is ready, and the process joins the worker at exit.
  static void warmUp(double scale);
  // True once the engine the main thread uses is there (warmed, or built).
  static bool ready();

  PangoContext* context() const { return context_; }
  // A font description of the family in `font`'s size and weight (caller frees).
  PangoFontDescription* describe(const platform::Font& font) const;
  // A layout of `text` in `style`, from the cache; valid until the next call
  // that lays out text (do not keep it).
  PangoLayout* layout(const std::string& text, const TextStyle& style);
  // Width and height of the lines the layout keeps (at most style.maxLines).
  platform::Size size(const std::string& text, const TextStyle& style);
  double lineHeight(const platform::Font& font);
  // Characters of `text` that no installed font has (drawn as boxes).
  int missingGlyphs(const std::string& text, const TextStyle& style);
  // Whether the family was found (false: another font stands in).
  bool hasFamily() const { return hasFamily_; }

 private:
  // An engine over its own font map (pango's maps must not be shared between
  // threads while in use); `report` logs a missing family.
  TextEngine(PangoFontMap* map, bool report);
  PangoContext* context_ = nullptr;
  bool hasFamily_ = false;
  struct Cache;
  std::unique_ptr<Cache> cache_;
};

// The text measurer backed by TextEngine.
class PangoTextMeasurer final : public platform::TextMeasurer {
 public:
  platform::Size measure(const std::string& text, const platform::Font& font, double maxWidth,
                         int maxLines) const override;
  double lineHeight(const platform::Font& font) const override;
};

// Installs PangoTextMeasurer as the toolkit's measurer (once; later calls do
// nothing unless something else was installed since).
void installTextMeasurer();

}  // namespace tolba::render
