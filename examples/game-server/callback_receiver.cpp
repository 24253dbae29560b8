#include "callback_receiver.h"

#include <cctype>
#include <chrono>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace payment_callback {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string decode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string hmacHex(std::string_view key, std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(data.data()),
       data.size(), digest, &length);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
    out += kDigits[digest[i] >> 4];
    out += kDigits[digest[i] & 15];
  }
  return out;
}

}  // namespace

Fields parseForm(std::string_view body) {
  Fields fields;
  while (!body.empty()) {
    const auto amp = body.find('&');
    const std::string_view pair = body.substr(0, amp);
    const auto eq = pair.find('=');
    if (eq != std::string_view::npos) fields[decode(pair.substr(0, eq))] = decode(pair.substr(eq + 1));
    if (amp == std::string_view::npos) break;
    body.remove_prefix(amp + 1);
  }
  return fields;
}

std::string signature(const Fields& fields, std::string_view appSecret) {
  std::string text;
  for (const auto& [name, value] : fields) {
    if (name == "sign") continue;
    if (!text.empty()) text += '&';
    text += name + "=" + value;
  }
  return hmacHex(appSecret, text);
}

std::string signedRequest(Fields fields, std::string_view appSecret) {
  fields["time"] = std::to_string(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count());
  fields["sign"] = signature(fields, appSecret);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string body;
  for (const auto& [name, value] : fields) {
    if (!body.empty()) body += '&';
    body += name + "=";
    for (const char ch : value) {
      const auto c = static_cast<unsigned char>(ch);
      if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
        body += ch;
      } else {
        body += '%';
        body += kHex[c >> 4];
        body += kHex[c & 15];
      }
    }
  }
  return body;
}

bool signatureValid(const Fields& fields, std::string_view appSecret) {
  const auto sign = fields.find("sign");
  if (sign == fields.end() || appSecret.empty()) return false;
  const std::string expected = signature(fields, appSecret);
  return sign->second.size() == expected.size() &&
         CRYPTO_memcmp(sign->second.data(), expected.data(), expected.size()) == 0;
}

Receiver::Answer Receiver::handle(std::string_view body) {
  const Fields fields = parseForm(body);
  Answer answer;
  if (!signatureValid(fields, secret_)) {
    // Not from the publisher (or the secret differs): nothing is delivered.
    answer.status = 403;
    answer.body = "bad signature";
    return answer;
  }
  const auto order = fields.find("orderid");
  if (order == fields.end() || order->second.empty()) {
    answer.status = 400;
    answer.body = "no orderid";
    return answer;
  }
  answer.orderId = order->second;
  {
    std::lock_guard lock(mutex_);
    // A callback that arrives again (after a lost answer) delivers nothing twice.
    answer.newOrder = delivered_.insert(order->second).second;
  }
  answer.body = "success";
  return answer;
}

std::set<std::string> Receiver::delivered() const {
  std::lock_guard lock(mutex_);
  return delivered_;
}

}  // namespace payment_callback
