#include "net/TolbaDataFunc.h"

#include <array>
#include <cmath>
#include <cstdint>

#include "tolba/build_settings.h"
#include "tolba/platform/log.h"
#include "tolba/platform/value.h"

namespace tolba {
namespace {

using Json = nlohmann::json;

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineLength = 64;
// Deeper documents are refused before parsing, so hostile input cannot exhaust
// the stack.
constexpr int kMaxDepth = 512;

constexpr std::array<std::int8_t, 256> makeDecodeTable() {
  std::array<std::int8_t, 256> t{};
  for (auto& v : t) v = -1;
  for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kBase64[i])] = static_cast<std::int8_t>(i);
  return t;
}
constexpr auto kDecode = makeDecodeTable();

void logDecodeFailure(const std::string& why) { platform::log("解密JSON序列化失败----" + why); }

// Checks that every double in `v` is finite (JSON has no NaN or infinity).
bool allFinite(const Json& v, int depth = 0) {
  if (depth > kMaxDepth) return false;
  if (v.is_number_float()) return std::isfinite(v.get<double>());
  if (v.is_structured()) {
    for (const auto& e : v) {
      if (!allFinite(e, depth + 1)) return false;
    }
  }
  return true;
}

bool validUtf8(std::string_view s) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (std::size_t k = 1; k < len; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += len;
  }
  return true;
}

// UTF-8 text to UTF-16 code units (the text is known to be valid).
std::u16string toUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp = 0;
    std::size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else {
      cp = c & 0x07;
      len = 4;
    }
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

// Integer value of a token the way the platform reads text (intValueOfText):
// leading blanks, an optional sign, digits; saturating at the 64-bit limits; no
// digits reads as 0.
std::int64_t tokenValue(const char16_t* p, const char16_t* end) {
  // Fast path: the tokens of a well-formed body are one to three digits.
  if (end - p >= 1 && end - p <= 3) {
    std::int64_t v = 0;
    const char16_t* q = p;
    for (; q < end && *q >= u'0' && *q <= u'9'; ++q) v = v * 10 + (*q - u'0');
    if (q == end) return v;
  }
  std::string narrow;
  narrow.reserve(static_cast<std::size_t>(end - p));
  // Anything outside ASCII ends the number like any other non-digit would.
  for (; p < end; ++p) narrow.push_back(*p < 0x80 ? static_cast<char>(*p) : '\x01');
  return platform::intValueOfText(narrow);
}

bool tooDeep(std::string_view json) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxDepth) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

std::optional<Json> decode(std::string_view body, std::string_view key, bool lenient) {
  if (body.empty() || !validUtf8(body)) return std::nullopt;
  const std::u16string text = toUtf16(body);
  if (text.size() < 2) return std::nullopt;  // a one-character body has nothing inside the frame
  if (key.size() < kLineLength) {
    logDecodeFailure("the key table must hold 64 characters");
    return std::nullopt;
  }
  const char16_t* p = text.data() + 1;
  const char16_t* const end = text.data() + text.size() - 1;

  // Tokens back to base64 characters.
  std::string b64;
  b64.reserve(static_cast<std::size_t>(end - p) / 3 + 1);
  std::size_t index = 0;
  bool bad = false;
  for (;;) {
    const char16_t* tokenEnd = p;
    while (tokenEnd < end && *tokenEnd != u'_') ++tokenEnd;
    const std::int64_t value = tokenValue(p, tokenEnd);
    const auto unit = static_cast<std::uint16_t>(
        static_cast<std::uint64_t>(value - static_cast<unsigned char>(key[index % kLineLength])) & 0xFFFFu);
    ++index;
    if (lenient && (unit == '\r' || unit == '\n')) {
      // line breaks of a long request: skip
    } else if (unit < 128 && (kDecode[unit] >= 0 || unit == '=')) {
      b64.push_back(static_cast<char>(unit));
    } else {
      bad = true;
      break;
    }
    if (tokenEnd >= end) break;
    p = tokenEnd + 1;
  }

  // Strict base64: whole quads, padding only at the end.
  std::string bytes;
  if (!bad && !b64.empty() && b64.size() % 4 == 0) {
    bytes.reserve(b64.size() / 4 * 3);
    const std::size_t n = b64.size();
    std::size_t pad = 0;
    if (b64[n - 1] == '=') ++pad;
    if (b64[n - 2] == '=') ++pad;
    for (std::size_t i = 0; i < n && !bad; i += 4) {
      std::uint32_t quad = 0;
      for (std::size_t k = 0; k < 4; ++k) {
        const char c = b64[i + k];
        if (c == '=') {
          if (i + k < n - pad) bad = true;
          quad <<= 6;
        } else {
          if (i + k >= n - pad) bad = true;
          quad = (quad << 6) | static_cast<std::uint32_t>(kDecode[static_cast<unsigned char>(c)]);
        }
      }
      bytes.push_back(static_cast<char>((quad >> 16) & 0xFF));
      bytes.push_back(static_cast<char>((quad >> 8) & 0xFF));
      bytes.push_back(static_cast<char>(quad & 0xFF));
    }
    if (!bad) bytes.resize(bytes.size() - pad);
  } else {
    bad = true;
  }
  if (bad) {
    logDecodeFailure("the body is not valid scrambled base64");
    return std::nullopt;
  }
  if (!validUtf8(bytes)) {
    logDecodeFailure("the decoded data is not UTF-8 text");
    return std::nullopt;
  }
  if (tooDeep(bytes)) {
    logDecodeFailure("the JSON text is nested too deeply");
    return std::nullopt;
  }
  Json parsed = Json::parse(bytes, nullptr, false);
  if (parsed.is_discarded()) {
    logDecodeFailure("the data is not valid JSON");
    return std::nullopt;
  }
  if (!parsed.is_object() && !parsed.is_array()) {
    logDecodeFailure("the JSON top level is neither an object nor an array");
    return std::nullopt;
  }
  return parsed;
}

}  // namespace

std::string_view TolbaDataFunc::defaultKey() { return {build::kWireKey, sizeof(build::kWireKey) - 1}; }

std::optional<std::string> TolbaDataFunc::writeJSON(const Json& object, std::string* error) {
  if (!object.is_object() && !object.is_array()) {
    if (error) *error = "Invalid top-level type in JSON write";
    return std::nullopt;
  }
  if (!allFinite(object)) {
    if (error) *error = "Invalid number value (NaN or infinity) in JSON write";
    return std::nullopt;
  }
  std::string json;
  try {
    json = object.dump(-1, ' ', false, Json::error_handler_t::strict);
  } catch (const Json::exception& e) {
    if (error) *error = e.what();
    return std::nullopt;
  }
  // "/" only appears inside strings, where the platform's writer escapes it.
  std::string out;
  out.reserve(json.size() + 8);
  for (const char c : json) {
    if (c == '/') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

namespace {

// The scrambled body of `object`; `lineBreaks` puts CR LF between base64 lines
// of 64 characters (as requests carry them).
std::optional<std::string> encode(const Json& object, std::string_view key, bool lineBreaks) {
  std::string error;
  const auto json = TolbaDataFunc::writeJSON(object, &error);
  if (!json) {
    platform::log("加密JSON序列化失败----" + error);
    return std::nullopt;
  }
  if (key.size() < kLineLength) {
    platform::log("加密JSON序列化失败----the key table must hold 64 characters");
    return std::nullopt;
  }
  const auto* data = reinterpret_cast<const unsigned char*>(json->data());
  const std::size_t size = json->size();

  std::string out;
  out.reserve((size + 2) / 3 * 4 * 4 + 2);
  out.push_back('x');
  std::size_t index = 0;  // position in the base64 text, line breaks included
  std::size_t column = 0;
  char digits[8];
  auto emit = [&](unsigned char c) {
    const unsigned v = c + static_cast<unsigned char>(key[index % kLineLength]);
    ++index;
    if (index > 1) out.push_back('_');
    // v is at most 127 + 126.
    int n = 0;
    unsigned x = v;
    do {
      digits[n++] = static_cast<char>('0' + x % 10);
      x /= 10;
    } while (x != 0);
    while (n > 0) out.push_back(digits[--n]);
  };
  auto emitChar = [&](char c) {
    if (lineBreaks && column == kLineLength) {
      emit('\r');
      emit('\n');
      column = 0;
    }
    emit(static_cast<unsigned char>(c));
    ++column;
  };
  for (std::size_t i = 0; i < size; i += 3) {
    const std::uint32_t v = (static_cast<std::uint32_t>(data[i]) << 16) |
                            (i + 1 < size ? static_cast<std::uint32_t>(data[i + 1]) << 8 : 0u) |
                            (i + 2 < size ? static_cast<std::uint32_t>(data[i + 2]) : 0u);
    emitChar(kBase64[(v >> 18) & 63]);
    emitChar(kBase64[(v >> 12) & 63]);
    emitChar(i + 1 < size ? kBase64[(v >> 6) & 63] : '=');
    emitChar(i + 2 < size ? kBase64[v & 63] : '=');
  }
  out.push_back('y');
  return out;
}

}  // namespace

std::optional<std::string> TolbaDataFunc::codingJSON(const Json& object, std::string_view key) {
  return encode(object, key, true);
}

std::optional<std::string> TolbaDataFunc::codingReplyJSON(const Json& object, std::string_view key) {
  return encode(object, key, false);
}

std::optional<nlohmann::json> TolbaDataFunc::decodingJSON(std::string_view body, std::string_view key) {
  return decode(body, key, false);
}

std::optional<nlohmann::json> TolbaDataFunc::decodingJSONLenient(std::string_view body, std::string_view key) {
  return decode(body, key, true);
}

std::vector<std::string> TolbaDataFunc::getArrayFromStr(std::string_view text) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    if (i + len > text.size()) len = text.size() - i;
    out.emplace_back(text.substr(i, len));
    i += len;
  }
  return out;
}

std::vector<std::string> TolbaDataFunc::getArray() {
  std::vector<std::string> out;
  out.reserve(kLineLength);
  for (const char c : defaultKey()) out.emplace_back(1, c);
  return out;
}

std::optional<std::string> TolbaDataFunc::dicToJson(const std::optional<Json>& dictionary) {
  if (!dictionary) return std::nullopt;
  Json flat = Json::object();
  if (dictionary->is_object()) {
    for (const auto& [k, v] : dictionary->items()) flat[k] = platform::describe(v);
  }
  auto json = writeJSON(flat);
  if (!json || json->empty()) return std::nullopt;
  return json;
}

}  // namespace tolba
