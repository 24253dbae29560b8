#include "reply_encoder.h"

#include <cstdint>

#include "net/TolbaDataFunc.h"

namespace tolba::sandbox {
namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kKeyLength = 64;
// JSON texts longer than this get a line break in the request writer's base64.
constexpr std::size_t kLongestUnbrokenJson = 48;

}  // namespace

std::optional<std::string> encodeReply(const nlohmann::json& reply, std::string_view key) {
  if (key.size() < kKeyLength) return std::nullopt;
  const auto json = TolbaDataFunc::writeJSON(reply);
  if (!json) return std::nullopt;
  const auto* data = reinterpret_cast<const unsigned char*>(json->data());
  const std::size_t size = json->size();

  std::string out;
  out.reserve((size + 2) / 3 * 16 + 2);
  out.push_back('x');
  std::size_t index = 0;
  auto emit = [&](char c) {
    if (index > 0) out.push_back('_');
    out += std::to_string(static_cast<unsigned>(static_cast<unsigned char>(c)) +
                          static_cast<unsigned char>(key[index % kKeyLength]));
    ++index;
  };
  for (std::size_t i = 0; i < size; i += 3) {
    const std::uint32_t v = (static_cast<std::uint32_t>(data[i]) << 16) |
                            (i + 1 < size ? static_cast<std::uint32_t>(data[i + 1]) << 8 : 0u) |
                            (i + 2 < size ? static_cast<std::uint32_t>(data[i + 2]) : 0u);
    emit(kBase64[(v >> 18) & 63]);
    emit(kBase64[(v >> 12) & 63]);
    emit(i + 1 < size ? kBase64[(v >> 6) & 63] : '=');
    emit(i + 2 < size ? kBase64[v & 63] : '=');
  }
  out.push_back('y');
  return out;
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
