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
