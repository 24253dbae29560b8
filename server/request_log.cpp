#include "request_log.h"

#include "net/log_masking.h"
#include "tolba/platform/value.h"

namespace tolba::sandbox {
namespace {

constexpr std::size_t kLongestLogged = 600;

}  // namespace

std::string describeRequest(const std::string& path, const std::optional<nlohmann::json>& request,
                            std::size_t bodySize) {
  if (!request) return "<body does not decode, " + std::to_string(bodySize) + " bytes>";
  // Passwords, login signatures (also inside "extrasparams"), identity card
  // numbers and real names are masked; every key stays.
  const nlohmann::json shown = maskedRequest(path, *request);
  std::string text = platform::dumpCompact(shown);
  if (text.size() > kLongestLogged) {
    std::size_t cut = kLongestLogged;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // keep characters whole
    text = text.substr(0, cut) + "...";
  }
  return text;
}

}  // namespace tolba::sandbox

namespace tolba::sandbox {

std::string escapeControls(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  auto escape = [&out](unsigned char c) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) {
      escape(c);
    } else if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
      escape(static_cast<unsigned char>(text[++i]));  // U+0080..U+009F
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace tolba::sandbox
