// Fuzz target of the wire decoder: any bytes may arrive as a reply (or, on a
// server, as a request). Neither decoder may crash, read out of bounds or loop;
// what they accept must be an object or an array, must not depend on the lenient
// switch beyond line breaks, and must survive encoding and decoding again, its
// JSON text being the JSON library's own with "/" escaped. The input is also
// tried as the JSON text inside a well-formed body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/TolbaDataFunc.h"
#include "tolba/platform/log.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// The body a server would send for `bytes` as its JSON text (unbroken base64),
// so that arbitrary bytes also reach the JSON stage of the decoder.
std::string scrambled(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto key = tolba::TolbaDataFunc::defaultKey();
  std::string body = "x";
  std::size_t index = 0;
  auto put = [&](char c) {
    if (index != 0) body += '_';
    body += std::to_string(static_cast<unsigned char>(c) + static_cast<unsigned char>(key[index % 64]));
    ++index;
  };
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0u;
    const auto c = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0u;
    const unsigned v = (a << 16) | (b << 8) | c;
    put(kAlphabet[(v >> 18) & 63]);
    put(kAlphabet[(v >> 12) & 63]);
    put(i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=');
    put(i + 2 < bytes.size() ? kAlphabet[v & 63] : '=');
  }
  return body + "y";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quiet = [] {
    tolba::platform::setLogSink([](const std::string&) {});
    return true;
  }();
  (void)quiet;

  using tolba::TolbaDataFunc;
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const auto strict = TolbaDataFunc::decodingJSON(body);
  const auto lenient = TolbaDataFunc::decodingJSONLenient(body);

  if (strict) {
    check(strict->is_object() || strict->is_array());
    // Whatever the strict decoder takes, the lenient one takes the same way.
    check(lenient && *lenient == *strict);
  }
  if (lenient) {
    check(lenient->is_object() || lenient->is_array());
    // A decoded document encodes again, and both encodings read back as it.
    const auto reply = TolbaDataFunc::codingReplyJSON(*lenient);
    const auto request = TolbaDataFunc::codingJSON(*lenient);
    check(reply && request);
    const auto again = TolbaDataFunc::decodingJSON(*reply);
    check(again && *again == *lenient);
    const auto fromRequest = TolbaDataFunc::decodingJSONLenient(*request);
    check(fromRequest && *fromRequest == *lenient);
    std::string dumped = lenient->dump();
    for (std::size_t at = dumped.find('/'); at != std::string::npos; at = dumped.find('/', at + 2)) {
      dumped.insert(at, 1, '\\');
    }
    check(TolbaDataFunc::writeJSON(*lenient) == dumped);
  }

  // The same bytes as the JSON text of a reply: taken exactly when they are an
  // object or array of JSON that the parser accepts (nesting aside).
  if (!body.empty()) {
    const auto asReply = TolbaDataFunc::decodingJSON(scrambled(body));
    const auto parsed = nlohmann::json::parse(body, nullptr, false);
    if (asReply) check(!parsed.is_discarded() && *asReply == parsed);
    if (!parsed.is_discarded() && !parsed.is_object() && !parsed.is_array()) check(!asReply);
  }
  return 0;
}
