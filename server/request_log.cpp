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
