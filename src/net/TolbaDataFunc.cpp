#include "net/TolbaDataFunc.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

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

// "_" followed by the decimal digits of a token value (a character code plus a
// key character code, so below 512), padded to four bytes.
struct TokenText {
  char text[4];
  std::uint8_t size;
};
constexpr std::array<TokenText, 512> makeTokenTexts() {
  std::array<TokenText, 512> t{};
  for (unsigned v = 0; v < 512; ++v) {
    TokenText& e = t[v];
    e.text[0] = '_';
    if (v >= 100) {
      e.text[1] = static_cast<char>('0' + v / 100);
      e.text[2] = static_cast<char>('0' + v / 10 % 10);
      e.text[3] = static_cast<char>('0' + v % 10);
      e.size = 4;
    } else if (v >= 10) {
      e.text[1] = static_cast<char>('0' + v / 10);
      e.text[2] = static_cast<char>('0' + v % 10);
      e.size = 3;
    } else {
      e.text[1] = static_cast<char>('0' + v);
      e.size = 2;
    }
  }
  return t;
}
constexpr auto kTokenTexts = makeTokenTexts();

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
template <typename Char>
std::int64_t tokenValue(const Char* p, const Char* end) {
  // Fast path: the tokens of a well-formed body are one to three digits.
  if (end - p >= 1 && end - p <= 3) {
    std::int64_t v = 0;
    const Char* q = p;
    for (; q < end && *q >= '0' && *q <= '9'; ++q) v = v * 10 + (*q - '0');
    if (q == end) return v;
  }
  std::string narrow;
  narrow.reserve(static_cast<std::size_t>(end - p));
  // Anything outside ASCII ends the number like any other non-digit would.
  for (; p < end; ++p) {
    const auto unit = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Char>>(*p));
    narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '\x01');
  }
  return platform::intValueOfText(narrow);
}

bool tooDeep(std::string_view json) {
  // Fewer openings than the limit cannot nest beyond it (the common case, and a
  // loop the compiler vectorises).
  std::size_t openings = 0;
  for (const char c : json) openings += static_cast<std::size_t>((c == '[') | (c == '{'));
  if (openings <= static_cast<std::size_t>(kMaxDepth)) return false;
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

// Values of the base64 text as the decoder keeps it: 0..63 for the alphabet,
// kPadding for "=".
constexpr int kPadding = 64;
constexpr int kSkip = -2;

// What a token value gives at key position `index`: the base64 value (or
// kPadding), kSkip for a line break that lenient reading passes over, -1 for
// anything else. Unsigned arithmetic: a token may read as the lowest 64-bit
// value.
template <bool Lenient>
int characterOf(std::uint64_t value, std::size_t index, std::string_view key) {
  const auto unit =
      static_cast<std::uint16_t>((value - static_cast<unsigned char>(key[index & (kLineLength - 1)])) & 0xFFFFu);
  if (unit < 128 && kDecode[unit] >= 0) return kDecode[unit];
  if (unit == '=') return kPadding;
  if (Lenient && (unit == '\r' || unit == '\n')) return kSkip;
  return -1;
}

// Turns the tokens between `p` and `end` back into base64 values, written
// from `out` on (room for one per token, so `end - p + 1`); nullptr when a
// token does not give a base64 character, else the end of what was written.
template <bool Lenient, typename Char>
char* untangle(const Char* p, const Char* const end, std::string_view key, char* out, bool& sawNonAscii) {
  std::size_t index = 0;
  for (;;) {
    // Tokens of two or three digits followed by "_", with room to look four
    // characters ahead: nearly every token of a well-formed body.
    while (end - p >= 4) {
      const auto d0 = static_cast<std::uint32_t>(p[0]) - '0';
      const auto d1 = static_cast<std::uint32_t>(p[1]) - '0';
      const auto d2 = static_cast<std::uint32_t>(p[2]) - '0';
      std::uint32_t value;
      if (d0 < 10 && d1 < 10 && d2 < 10 && p[3] == '_') {
        value = d0 * 100 + d1 * 10 + d2;
        p += 4;
      } else if (d0 < 10 && d1 < 10 && p[2] == '_') {
        value = d0 * 10 + d1;
        p += 3;
      } else {
        break;
      }
      const int c = characterOf<Lenient>(value, index++, key);
      if (c >= 0) {
        *out++ = static_cast<char>(c);
      } else if (c != kSkip) {
        return nullptr;
      }
    }
    // Any other token, and the last one.
    const Char* tokenEnd = p;
    while (tokenEnd < end && *tokenEnd != '_') {
      sawNonAscii |= static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Char>>(*tokenEnd)) >= 0x80;
      ++tokenEnd;
    }
    const int c = characterOf<Lenient>(static_cast<std::uint64_t>(tokenValue(p, tokenEnd)), index++, key);
    if (c >= 0) {
      *out++ = static_cast<char>(c);
    } else if (c != kSkip) {
      return nullptr;
    }
    if (tokenEnd >= end) return out;
    p = tokenEnd + 1;
  }
}

// The same; `sawNonAscii` is set when a token held a character outside ASCII.
template <typename Char>
char* untangle(const Char* p, const Char* const end, std::string_view key, bool lenient, char* out,
               bool& sawNonAscii) {
  return lenient ? untangle<true>(p, end, key, out, sawNonAscii) : untangle<false>(p, end, key, out, sawNonAscii);
}

bool isAscii(std::string_view s) {
  unsigned char any = 0;
  for (const char c : s) any |= static_cast<unsigned char>(c);
  return any < 0x80;
}

std::optional<Json> decode(std::string_view body, std::string_view key, bool lenient) {
  if (body.empty()) return std::nullopt;

  // Tokens back to base64 values. The frame (first and last character, as
  // UTF-16 units) is dropped unseen. A body of ASCII characters (every
  // well-formed one) is read as it is; any other goes through UTF-16.
  std::unique_ptr<char[]> values;  // at most one per token
  char* written = nullptr;
  bool done = false;
  const auto isAsciiByte = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
  if (key.size() >= kLineLength && body.size() >= 2 && isAsciiByte(body.front()) && isAsciiByte(body.back())) {
    bool sawNonAscii = false;
    values.reset(new char[body.size()]);
    written = untangle(body.data() + 1, body.data() + body.size() - 1, key, lenient, values.get(), sawNonAscii);
    // A failure may have stopped before a character outside ASCII.
    done = !sawNonAscii && (written != nullptr || isAscii(body));
  }
  if (!done) {
    if (!isAscii(body) && !validUtf8(body)) return std::nullopt;
    if (key.size() < kLineLength) {
      logDecodeFailure("the key table must hold 64 characters");
      return std::nullopt;
    }
    const std::u16string text = toUtf16(body);
    if (text.size() < 2) return std::nullopt;  // a one-character body has nothing inside the frame
    bool sawNonAscii = false;
    values.reset(new char[text.size()]);
    written = untangle(text.data() + 1, text.data() + text.size() - 1, key, lenient, values.get(), sawNonAscii);
  }
  bool bad = written == nullptr;
  const std::size_t n = bad ? 0 : static_cast<std::size_t>(written - values.get());

  // Strict base64: whole quads, padding ("=", at most two) only at the end.
  // Decoded in place: byte 3k/4 is written after value k has been read.
  std::size_t length = 0;
  if (!bad && n != 0 && n % 4 == 0) {
    const char* b64 = values.get();
    const std::size_t pad =
        static_cast<std::size_t>(b64[n - 1] == kPadding) + static_cast<std::size_t>(b64[n - 2] == kPadding);
    auto* in = reinterpret_cast<unsigned char*>(values.get());
    unsigned char* out = in;
    unsigned padding = 0;  // any "=" outside the padding
    for (std::size_t i = 0; i < n; i += 4, out += 3) {
      const unsigned a = in[i];
      const unsigned b = in[i + 1];
      const unsigned c = in[i + 2];
      const unsigned d = in[i + 3];
      if (i + 4 < n) {
        padding |= a | b | c | d;
      } else {
        padding |= a | b | (pad < 2 ? c : 0u) | (pad < 1 ? d : 0u);
      }
      const std::uint32_t quad = ((a & 63u) << 18) | ((b & 63u) << 12) | ((c & 63u) << 6) | (d & 63u);
      out[0] = static_cast<unsigned char>(quad >> 16);
      out[1] = static_cast<unsigned char>(quad >> 8);
      out[2] = static_cast<unsigned char>(quad);
    }
    bad = (padding & static_cast<unsigned>(kPadding)) != 0;
    length = n / 4 * 3 - pad;
  } else {
    bad = true;
  }
  if (bad) {
    logDecodeFailure("the body is not valid scrambled base64");
    return std::nullopt;
  }
  // The bytes must be UTF-8 text: the JSON parser checks that as it reads
  // (strictly: no overlong forms, no surrogates), and a byte outside ASCII is
  // only allowed inside a string.
  const std::string_view bytes(values.get(), length);
  if (tooDeep(bytes)) {
    logDecodeFailure("the JSON text is nested too deeply");
    return std::nullopt;
  }
  Json parsed = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
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
  const auto slashes = static_cast<std::size_t>(std::count(json.begin(), json.end(), '/'));
  if (slashes == 0) return json;
  std::string out;
  out.reserve(json.size() + slashes);
  std::size_t from = 0;
  for (std::size_t at = json.find('/'); at != std::string::npos; at = json.find('/', at + 1)) {
    out.append(json, from, at - from);
    out.append("\\/");
    from = at + 1;
  }
  out.append(json, from, std::string::npos);
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
  const std::size_t chars = (size + 2) / 3 * 4;
  const std::size_t breaks = lineBreaks && chars > 0 ? (chars - 1) / kLineLength : 0;
  const std::size_t tokens = chars + 2 * breaks;

  // Every token is written as "_" and its digits; the first "_" then becomes the
  // opening "x".
  std::string out(tokens * 4 + 2, '\0');
  char* w = out.data();
  std::size_t index = 0;  // position in the base64 text, line breaks included
  auto emit = [&](unsigned code) {
    const TokenText& t = kTokenTexts[code + static_cast<unsigned char>(key[index & (kLineLength - 1)])];
    std::memcpy(w, t.text, 4);
    w += t.size;
    ++index;
  };
  constexpr std::size_t kQuadsPerLine = kLineLength / 4;
  for (std::size_t i = 0, quad = 0; i < size; i += 3, ++quad) {
    if (lineBreaks && quad != 0 && quad % kQuadsPerLine == 0) {
      emit('\r');
      emit('\n');
    }
    const std::uint32_t v = (static_cast<std::uint32_t>(data[i]) << 16) |
                            (i + 1 < size ? static_cast<std::uint32_t>(data[i + 1]) << 8 : 0u) |
                            (i + 2 < size ? static_cast<std::uint32_t>(data[i + 2]) : 0u);
    emit(static_cast<unsigned char>(kBase64[(v >> 18) & 63]));
    emit(static_cast<unsigned char>(kBase64[(v >> 12) & 63]));
    emit(static_cast<unsigned char>(i + 1 < size ? kBase64[(v >> 6) & 63] : '='));
    emit(static_cast<unsigned char>(i + 2 < size ? kBase64[v & 63] : '='));
  }
  out[0] = 'x';
  *w++ = 'y';
  out.resize(static_cast<std::size_t>(w - out.data()));
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
