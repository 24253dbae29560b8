#include "reply_encoder.h"

#include "net/TolbaDataFunc.h"

namespace tolba::sandbox {
namespace {

// JSON texts longer than this get a line break in the request writer's base64.
constexpr std::size_t kLongestUnbrokenJson = 48;

}  // namespace

std::optional<std::string> encodeReply(const nlohmann::json& reply, std::string_view key) {
  return TolbaDataFunc::codingReplyJSON(reply, key);
}

std::optional<std::string> encodeReplyWithLineBreaks(const nlohmann::json& reply, std::string_view key) {
  nlohmann::json padded = reply;
  const auto json = TolbaDataFunc::writeJSON(reply);
  if (!json) return std::nullopt;
  if (json->size() <= kLongestUnbrokenJson && padded.is_object()) {
    padded["_pad"] = std::string(kLongestUnbrokenJson, '-');
  }
  return TolbaDataFunc::codingJSON(padded, key);
}

}  // namespace tolba::sandbox
