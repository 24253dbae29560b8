#include "request_log.h"

#include "net/log_masking.h"
#include "platform/utf8.h"
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
    text = std::string(platform::utf8::truncate(text, kLongestLogged)) + "...";  // characters kept whole
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
  // Control characters (C0, DEL, C1) and bytes that are not UTF-8 are written
  // as escapes, so a client cannot forge a line or garble the terminal.
  for (std::size_t i = 0; i < text.size();) {
    const auto d = platform::utf8::decode(text, i);
    if (!d.valid) {
      for (std::size_t k = 0; k < d.length; ++k) escape(static_cast<unsigned char>(text[i + k]));
    } else if (d.codePoint < 0x20 || (d.codePoint >= 0x7f && d.codePoint <= 0x9f)) {
      escape(static_cast<unsigned char>(d.codePoint));
    } else {
      out.append(text, i, d.length);
    }
    i += d.length;
  }
  return out;
}

}  // namespace tolba::sandbox
