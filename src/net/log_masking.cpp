#include "net/log_masking.h"

#include <algorithm>
#include <cctype>

#include "platform/utf8.h"

namespace tolba {
namespace {

using Json = nlohmann::json;

enum class Kind { Password, Sign, IdCard, RealName };

constexpr std::size_t kShownPrefix = 4;  // of a sign, token or identity card number

// Keys that hold a credential whatever the endpoint.
struct KeyRule {
  const char* key;
  Kind kind;
};
constexpr KeyRule kAnywhere[] = {
    {"sign", Kind::Sign},         {"token", Kind::Sign},         {"password", Kind::Password},
    {"pwd", Kind::Password},      {"idcard", Kind::IdCard},      {"id_card", Kind::IdCard},
    {"realname", Kind::RealName}, {"real_name", Kind::RealName}, {"truename", Kind::RealName},
};

// Short keys that hold a credential only on one endpoint, in one direction.
struct PathRule {
  const char* path;
  bool request;
  const char* key;
  Kind kind;
};
constexpr PathRule kByPath[] = {
    {"sdkmini/login/dologin", true, "b", Kind::Password}, {"sdkmini/login/register", true, "b", Kind::Password},
    {"sdkmini/login/idcheck", true, "id", Kind::IdCard},  {"sdkmini/login/idcheck", true, "r", Kind::RealName},
    {"sdkmini/login/dologin", false, "d", Kind::Sign},
};

// The login panel's result keeps the whole login reply under this key.
constexpr char kLoginReplyKey[] = "rzdic";
constexpr char kLoginPath[] = "sdkmini/login/dologin";

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

std::size_t prefixOf(Kind kind) { return kind == Kind::Sign || kind == Kind::IdCard ? kShownPrefix : 0; }

Json maskValue(const Json& value, Kind kind) {
  if (value.is_null()) return value;
  if (value.is_string()) return maskSecret(value.get_ref<const std::string&>(), prefixOf(kind));
  if (value.is_structured()) return "***";
  // A number (an identity card number sent as one): masked as its text.
  return maskSecret(value.dump(), prefixOf(kind));
}

Json maskTree(const Json& value, std::string_view path, bool request, int depth);

// A string that holds a JSON object is masked inside; other strings are kept.
Json maskText(const Json& value, std::string_view path, bool request, int depth) {
  const auto& text = value.get_ref<const std::string&>();
  const auto start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos || text[start] != '{') return value;
  Json inner = Json::parse(text, nullptr, false);
  if (inner.is_discarded() || !inner.is_object()) return value;
  // The text stands for the value itself: the same endpoint rules apply inside.
  Json masked = maskTree(inner, path, request, depth);
  if (masked == inner) return value;
  return masked.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json maskTree(const Json& value, std::string_view path, bool request, int depth) {
  // Texts are shorter at every level, so this ends; the bound keeps it cheap.
  if (depth > 8) return value.is_structured() ? Json("***") : value;
  if (value.is_string()) return maskText(value, path, request, depth);
  if (value.is_array()) {
    Json out = Json::array();
    for (const auto& item : value) out.push_back(maskTree(item, path, request, depth + 1));
    return out;
  }
  if (!value.is_object()) return value;
  Json out = Json::object();
  for (auto it = value.begin(); it != value.end(); ++it) {
    const std::string key = lower(it.key());
    const Json* replaced = nullptr;
    Json masked;
    for (const auto& rule : kAnywhere) {
      if (key == rule.key) {
        masked = maskValue(it.value(), rule.kind);
        replaced = &masked;
        break;
      }
    }
    if (!replaced && depth == 0) {
      for (const auto& rule : kByPath) {
        if (rule.request == request && path == rule.path && it.key() == rule.key) {
          masked = maskValue(it.value(), rule.kind);
          replaced = &masked;
          break;
        }
      }
    }
    if (!replaced && key == kLoginReplyKey) {
      masked = maskTree(it.value(), kLoginPath, false, 0);
      replaced = &masked;
    }
    out[it.key()] = replaced ? std::move(masked) : maskTree(it.value(), path, request, depth + 1);
  }
  return out;
}

}  // namespace

std::string maskSecret(std::string_view value, std::size_t prefix) {
  // Count whole characters so that a name or number is never cut mid-character.
  prefix = std::min(prefix, platform::utf8::length(value) / 4);
  std::size_t end = 0;
  for (std::size_t shown = 0; shown < prefix && end < value.size(); ++shown) {
    end += platform::utf8::decode(value, end).length;
  }
  return std::string(value.substr(0, end)) + "***";
}

Json maskedRequest(std::string_view path, const Json& request) { return maskTree(request, path, true, 0); }

Json maskedReply(std::string_view path, const Json& reply) { return maskTree(reply, path, false, 0); }

Json maskedDictionary(const Json& value) { return maskTree(value, {}, true, 0); }

}  // namespace tolba
