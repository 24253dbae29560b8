#include "toolkit/text_measurer.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "platform/utf8.h"

namespace tolba::platform {
namespace {

std::mutex& measurerMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<TextMeasurer>& measurerSlot() {
  static auto* slot = new std::shared_ptr<TextMeasurer>(std::make_shared<HeadlessTextMeasurer>());
  return *slot;
}

// Decodes the character at `i` and moves past it; an invalid sequence reads as
// one U+FFFD.
char32_t nextCodePoint(const std::string& s, std::size_t& i) {
  const auto d = utf8::decode(s, i);
  i += d.length;
  return d.codePoint;
}

}  // namespace

double Font::lineHeight() const { return TextMeasurer::current().lineHeight(*this); }

const TextMeasurer& TextMeasurer::current() {
  std::lock_guard lock(measurerMutex());
  return *measurerSlot();
}

void TextMeasurer::setCurrent(std::shared_ptr<TextMeasurer> measurer) {
  std::lock_guard lock(measurerMutex());
  measurerSlot() = measurer ? std::move(measurer) : std::make_shared<HeadlessTextMeasurer>();
}

double HeadlessTextMeasurer::lineHeight(const Font& font) const { return font.pointSize * 1.2; }

Size HeadlessTextMeasurer::measure(const std::string& text, const Font& font, double maxWidth, int maxLines) const {
  if (text.empty()) return {0, 0};
  const double size = font.pointSize;
  std::vector<double> lines{0};
  std::size_t i = 0;
  while (i < text.size()) {
    const char32_t cp = nextCodePoint(text, i);
    if (cp == U'\n') {
      lines.push_back(0);
      continue;
    }
    const double w = (cp >= 0x20 && cp <= 0x7E) ? size * 0.5 : size;
    if (lines.back() > 0 && lines.back() + w > maxWidth) lines.push_back(0);
    lines.back() += w;
  }
  if (maxLines > 0 && lines.size() > static_cast<std::size_t>(maxLines))
    lines.resize(static_cast<std::size_t>(maxLines));
  const double width = *std::max_element(lines.begin(), lines.end());
  return {width, static_cast<double>(lines.size()) * lineHeight(font)};
}

namespace {
std::atomic<FontWarmUp> fontWarmUp{nullptr};
}  // namespace

void setFontWarmUp(FontWarmUp warmUp) { fontWarmUp.store(warmUp); }

void warmUpFonts(double scale) {
  if (FontWarmUp warmUp = fontWarmUp.load()) warmUp(scale);
}

}  // namespace tolba::platform
