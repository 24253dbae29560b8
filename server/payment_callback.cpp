#include "payment_callback.h"

#include "crypto.h"
#include "sandbox_api.h"

namespace tolba::sandbox {

FormFields paymentCallbackFields(const Order& order) {
  return {{"orderid", order.orderId},
          {"cporderid", order.cpOrderId},
          {"gameid", order.gameId},
          {"amount", centsText(order.amount)},
          {"username", SandboxApi::aggregationName(order.uid)},
          {"roleid", order.roleId},
          {"serverid", order.serverId},
          {"method", order.method},
          {"time", std::to_string(order.paidAt)}};
}

std::string callbackSignature(const FormFields& fields, std::string_view secret) {
  std::string text;
  for (const auto& [name, value] : fields) {  // a std::map is sorted by name
    if (name == "sign") continue;
    if (!text.empty()) text += '&';
    text += name + "=" + value;
  }
  return hmacSha256Hex(secret, text);
}

std::string formEncode(const FormFields& fields) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const auto& [name, value] : fields) {
    if (!out.empty()) out += '&';
    for (const std::string* part : {&name, &value}) {
      for (const char ch : *part) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
          out += ch;
        } else {
          out += '%';
          out += kHex[c >> 4];
          out += kHex[c & 15];
        }
      }
      if (part == &name) out += '=';
    }
  }
  return out;
}

namespace {

std::optional<std::string> percentDecode(std::string_view text) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = hex(text[i + 1]);
      const int low = hex(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::optional<FormFields> formDecode(std::string_view body) {
  FormFields fields;
  while (!body.empty()) {
    const auto end = body.find('&');
    const std::string_view pair = body.substr(0, end);
    body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
    if (pair.empty()) continue;
    const auto equals = pair.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    auto name = percentDecode(pair.substr(0, equals));
    auto value = percentDecode(pair.substr(equals + 1));
    if (!name || !value || name->empty()) return std::nullopt;
    if (!fields.emplace(std::move(*name), std::move(*value)).second) return std::nullopt;
  }
  return fields;
}

Callback makePaymentCallback(const Order& order, const GameSettings& game, std::int64_t nowMs) {
  FormFields fields = paymentCallbackFields(order);
  fields["sign"] = callbackSignature(fields, game.secret);
  Callback c;
  c.orderId = order.orderId;
  c.url = game.notifyUrl;
  c.body = formEncode(fields);
  c.state = "pending";
  c.nextAtMs = nowMs;
  return c;
}

bool validCallbackUrl(const std::string& url) {
  std::size_t hostStart = 0;
  if (url.rfind("http://", 0) == 0) {
    hostStart = 7;
  } else if (url.rfind("https://", 0) == 0) {
    hostStart = 8;
  } else {
    return false;
  }
  if (url.size() <= hostStart || url[hostStart] == '/') return false;
  for (const char c : url) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return false;
  }
  return true;
}

}  // namespace tolba::sandbox
