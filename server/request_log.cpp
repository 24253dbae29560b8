#include "request_log.h"

#include "id_card.h"
#include "tolba/platform/value.h"

namespace tolba::sandbox {
namespace {

constexpr std::size_t kLongestLogged = 600;

}  // namespace

std::string describeRequest(const std::string& path, const std::optional<nlohmann::json>& request,
                            std::size_t bodySize) {
  if (!request) return "<body does not decode, " + std::to_string(bodySize) + " bytes>";
  nlohmann::json shown = *request;
  if (shown.is_object()) {
    if ((path == "sdkmini/login/dologin" || path == "sdkmini/login/register") && shown.contains("b")) shown["b"] = "***";
    if (path == "sdkmini/login/idcheck" && shown.contains("id")) {
      shown["id"] = shown["id"].is_string() ? maskIdCard(shown["id"].get<std::string>()) : "***";
    }
  }
  std::string text = platform::dumpCompact(shown);
  if (text.size() > kLongestLogged) {
    std::size_t cut = kLongestLogged;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // keep characters whole
    text = text.substr(0, cut) + "...";
  }
  return text;
}

}  // namespace tolba::sandbox
