#include "toolkit/text_measurer.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

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

// Decodes one UTF-8 sequence at `i`; a malformed byte counts as one character.
char32_t nextCodePoint(const std::string& s, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  std::size_t len = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 1;
  if (i + len > s.size()) len = 1;
  char32_t cp = len == 1 ? b0 : (b0 & (0xFF >> (len + 1)));
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      len = 1;
      cp = b0;
      break;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  i += len;
  return cp;
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
  if (maxLines > 0 && lines.size() > static_cast<std::size_t>(maxLines)) lines.resize(static_cast<std::size_t>(maxLines));
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
