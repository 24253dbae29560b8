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

// The text of one token: "_" and the two or three digits of its value, in four
// bytes. A token value is the code of a base64 character, "=", CR or LF plus a
// key byte, so between 10 and 377: never one digit. For two digits the fourth
// byte is 0 and the next token overwrites it.
struct TokenText {
  char text[4];
};

// Column of a token table for "=", CR and LF, after the 64 base64 values.
constexpr std::size_t kPadColumn = 64;
constexpr std::size_t kCrColumn = 65;
constexpr std::size_t kLfColumn = 66;
constexpr std::size_t kColumns = 67;
// Rows 64..66 repeat rows 0..2, so the four tokens of a base64 quad starting
// at key position p read rows p..p+3 without wrapping.
constexpr std::size_t kRows = kLineLength + 3;

// Every token text the encoder can write for one key table, by key position
// (row) and base64 value (column): building it once moves the alphabet lookup,
// the addition of the key character and the decimal formatting out of the
// per-character loop.
struct TokenTable {
  std::array<std::array<TokenText, kColumns>, kRows> rows;
};

TokenText tokenTextOf(unsigned value) {
  TokenText t{};
  t.text[0] = '_';
  if (value >= 100) {
    t.text[1] = static_cast<char>('0' + value / 100);
    t.text[2] = static_cast<char>('0' + value / 10 % 10);
    t.text[3] = static_cast<char>('0' + value % 10);
  } else {
    t.text[1] = static_cast<char>('0' + value / 10);
    t.text[2] = static_cast<char>('0' + value % 10);
  }
  return t;
}

void fillTokenTable(TokenTable& table, std::string_view key) {
  for (std::size_t row = 0; row < kRows; ++row) {
    const unsigned keyCode = static_cast<unsigned char>(key[row & (kLineLength - 1)]);
    auto& texts = table.rows[row];
    for (std::size_t v = 0; v < 64; ++v) texts[v] = tokenTextOf(static_cast<unsigned char>(kBase64[v]) + keyCode);
    texts[kPadColumn] = tokenTextOf('=' + keyCode);
    texts[kCrColumn] = tokenTextOf('\r' + keyCode);
    texts[kLfColumn] = tokenTextOf('\n' + keyCode);
  }
}

// The token table of `key`: the compiled-in key's is built once and kept;
// any other is built into `own`. The kept table has no destructor, so that
// other threads may still encode while the process exits.
const TokenTable& tokenTableFor(std::string_view key, std::unique_ptr<TokenTable>& own) {
  static_assert(std::is_trivially_destructible_v<TokenTable>);
  static const TokenTable builtIn = [] {
    TokenTable table{};
    fillTokenTable(table, TolbaDataFunc::defaultKey());
    return table;
  }();
  if (key.substr(0, kLineLength) == TolbaDataFunc::defaultKey().substr(0, kLineLength)) return builtIn;
  own = std::make_unique<TokenTable>();
  fillTokenTable(*own, key);
  return *own;
}

// Bytes of a token text: three, or four when the value has three digits (the
// fourth byte is then a digit, not 0). Written as arithmetic: as a comparison
// the compiler may turn it into a branch that the data keeps mispredicting.
inline std::size_t lengthOf(const TokenText& t) {
  return 3 + ((std::size_t{static_cast<unsigned char>(t.text[3])} + 0xFF) >> 8);
}

// Writes one token text and advances past it.
inline void putToken(char*& w, const TokenText& t) {
  std::memcpy(w, t.text, 4);
  w += lengthOf(t);
}

using TokenRow = std::array<TokenText, kColumns>;

// Writes the four tokens of one base64 quad (columns a, b, c and d of rows
// row[0..3]) and returns the end. The lengths are added up apart from the
// writes, so that each write does not wait for the one before it.
inline char* putQuad(char* w, const TokenRow* row, std::size_t a, std::size_t b, std::size_t c, std::size_t d) {
  const TokenText& t0 = row[0][a];
  const TokenText& t1 = row[1][b];
  const TokenText& t2 = row[2][c];
  const TokenText& t3 = row[3][d];
  const std::size_t n0 = lengthOf(t0);
  const std::size_t n01 = n0 + lengthOf(t1);
  const std::size_t n012 = n01 + lengthOf(t2);
  std::memcpy(w, t0.text, 4);
  std::memcpy(w + n0, t1.text, 4);
  std::memcpy(w + n01, t2.text, 4);
  std::memcpy(w + n012, t3.text, 4);
  return w + n012 + lengthOf(t3);
}

// Scratch text kept per thread between calls, so that encoding and decoding do
// not allocate (and grow) a buffer each time. One that has grown past this
// size is given back after use.
constexpr std::size_t kScratchKeep = 256 * 1024;

void releaseIfLarge(std::string& scratch) {
  if (scratch.capacity() > kScratchKeep) std::string().swap(scratch);
}

void logDecodeFailure(const std::string& why) { platform::log("解密JSON序列化失败----" + why); }

// Checks that every double in `v` is finite (JSON has no NaN or infinity), and
// that nothing lies deeper than kMaxDepth. Walks the containers themselves
// (the JSON library's generic iterators cost more than the check) and only
// descends where there is something to check.
bool allFinite(const Json& v, int depth = 0) {
  if (depth > kMaxDepth) return false;
  const auto check = [depth](const Json& e) {
    return depth + 1 > kMaxDepth || e.is_structured() || e.is_number_float() ? allFinite(e, depth + 1) : true;
  };
  switch (v.type()) {
    case Json::value_t::number_float:
      return std::isfinite(v.get_ref<const Json::number_float_t&>());
    case Json::value_t::object:
      for (const auto& entry : v.get_ref<const Json::object_t&>()) {
        if (!check(entry.second)) return false;
      }
      return true;
    case Json::value_t::array:
      for (const auto& e : v.get_ref<const Json::array_t&>()) {
        if (!check(e)) return false;
      }
      return true;
    default:
      return true;
  }
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
  // Fewer openings than the limit cannot nest beyond it (the common case). The
  // count is taken in blocks of 255 characters with a one-byte counter, which
  // the compiler vectorises without widening.
  if (json.size() <= static_cast<std::size_t>(kMaxDepth)) return false;
  std::size_t openings = 0;
  for (std::size_t from = 0; from < json.size(); from += 255) {
    const std::size_t to = std::min(json.size(), from + 255);
    unsigned char block = 0;
    for (std::size_t i = from; i < to; ++i) block += static_cast<unsigned char>((json[i] == '[') | (json[i] == '{'));
    openings += block;
  }
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

// What each character code below 128 gives when decoding: the base64 value,
// kPadding for "=", kSkip for CR and LF when line breaks are passed over, -1
// for anything else.
template <bool Lenient>
constexpr std::array<std::int8_t, 128> makeValueTable() {
  std::array<std::int8_t, 128> t{};
  for (std::size_t c = 0; c < t.size(); ++c) t[c] = kDecode[c];
  t['='] = kPadding;
  if (Lenient) t['\r'] = t['\n'] = kSkip;
  return t;
}
template <bool Lenient>
constexpr auto kValueOf = makeValueTable<Lenient>();

// What a token value gives at key position `index` (see kValueOf). Unsigned
// arithmetic: a token may read as the lowest 64-bit value.
template <bool Lenient>
int characterOf(std::uint64_t value, std::size_t index, std::string_view key) {
  const auto unit =
      static_cast<std::uint16_t>((value - static_cast<unsigned char>(key[index & (kLineLength - 1)])) & 0xFFFFu);
  return unit < 128 ? kValueOf<Lenient>[unit] : -1;
}

// What every token value below 256 gives at every key position (see
// characterOf); larger values give -1 there. Reading a token then takes one
// lookup instead of a subtraction, a mask and a lookup.
struct ValueTable {
  std::array<std::array<std::int8_t, 256>, kLineLength> rows;
};

void fillValueTable(ValueTable& table, std::string_view key) {
  for (std::size_t row = 0; row < kLineLength; ++row) {
    for (std::size_t value = 0; value < 256; ++value) {
      table.rows[row][value] = static_cast<std::int8_t>(characterOf<true>(value, row, key));
    }
  }
}

// The value table of `key`: the compiled-in key's is built once and kept (with
// no destructor, as above); any other is built into `own`.
const ValueTable& valueTableFor(std::string_view key, std::unique_ptr<ValueTable>& own) {
  static_assert(std::is_trivially_destructible_v<ValueTable>);
  static const ValueTable builtIn = [] {
    ValueTable table{};
    fillValueTable(table, TolbaDataFunc::defaultKey());
    return table;
  }();
  if (key.substr(0, kLineLength) == TolbaDataFunc::defaultKey().substr(0, kLineLength)) return builtIn;
  own = std::make_unique<ValueTable>();
  fillValueTable(*own, key);
  return *own;
}

// Turns the tokens between `p` and `end` back into base64 values, written
// from `out` on (room for one per token, so `end - p + 1`); nullptr when a
// token does not give a base64 character, else the end of what was written.
// Kept out of line: inlined into decode, its loop ran short of registers.
template <bool Lenient, typename Char>
[[gnu::noinline]] char* untangle(const Char* p, const Char* const end, std::string_view key, char* out,
                                 bool& sawNonAscii) {
  std::unique_ptr<ValueTable> ownTable;
  const ValueTable& table = valueTableFor(key, ownTable);
  std::size_t index = 0;
  for (;;) {
    // Tokens of two or three digits followed by "_", with room to look four
    // characters ahead: nearly every token of a well-formed body.
    while (end - p >= 4) {
      const auto d0 = static_cast<std::uint32_t>(p[0]) - '0';
      const auto d1 = static_cast<std::uint32_t>(p[1]) - '0';
      const auto d2 = static_cast<std::uint32_t>(p[2]) - '0';
      const bool two = p[2] == '_';
      const bool three = (d2 < 10) & (p[3] == '_');
      if (!((d0 < 10) & (d1 < 10) & (two | three))) break;
      const std::uint32_t value = two ? d0 * 10 + d1 : d0 * 100 + d1 * 10 + d2;
      p += two ? 3 : 4;
      // Three digits may exceed the table: such a value is never a character.
      const std::size_t row = index++ & (kLineLength - 1);
      const int c = value < 256 ? table.rows[row][value] : -1;
      if (c >= 0) {
        *out++ = static_cast<char>(c);
      } else if (!Lenient || c != kSkip) {
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
  // At most one value per token, in a per-thread buffer (a large allocation
  // for every reply would cost more than reading its tokens).
  thread_local std::string scratch;
  struct Release {
    ~Release() { releaseIfLarge(scratch); }
  } release;
  const auto buffer = [](std::size_t size) {
    if (scratch.size() < size) scratch.resize(size);
    return scratch.data();
  };
  char* values = nullptr;
  char* written = nullptr;
  bool done = false;
  const auto isAsciiByte = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
  if (key.size() >= kLineLength && body.size() >= 2 && isAsciiByte(body.front()) && isAsciiByte(body.back())) {
    bool sawNonAscii = false;
    values = buffer(body.size());
    written = untangle(body.data() + 1, body.data() + body.size() - 1, key, lenient, values, sawNonAscii);
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
    values = buffer(text.size());
    written = untangle(text.data() + 1, text.data() + text.size() - 1, key, lenient, values, sawNonAscii);
  }
  bool bad = written == nullptr;
  const std::size_t n = bad ? 0 : static_cast<std::size_t>(written - values);

  // Strict base64: whole quads, padding ("=", at most two) only at the end.
  // Decoded in place: byte 3k/4 is written after value k has been read.
  std::size_t length = 0;
  if (!bad && n != 0 && n % 4 == 0) {
    const char* b64 = values;
    const std::size_t pad =
        static_cast<std::size_t>(b64[n - 1] == kPadding) + static_cast<std::size_t>(b64[n - 2] == kPadding);
    auto* in = reinterpret_cast<unsigned char*>(values);
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
  const std::string_view bytes(values, length);
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

// The JSON library's own writer, as Json::dump() uses it.
using JsonWriter = nlohmann::detail::serializer<Json>;

JsonWriter writerInto(std::string& out) {
  return JsonWriter(nlohmann::detail::output_adapter<char, std::string>(out), ' ', Json::error_handler_t::strict);
}

// Compact JSON of `object` as the JSON library writes it, into `out` through
// `writer` (which writes to `out`); false with `error` set when it cannot be
// written. "/" is still unescaped.
bool writeCompact(const Json& object, std::string& out, JsonWriter& writer, std::string* error) {
  if (!object.is_object() && !object.is_array()) {
    if (error) *error = "Invalid top-level type in JSON write";
    return false;
  }
  if (!allFinite(object)) {
    if (error) *error = "Invalid number value (NaN or infinity) in JSON write";
    return false;
  }
  out.clear();
  try {
    writer.dump(object, false, false, 0);
  } catch (const Json::exception& e) {
    if (error) *error = e.what();
    return false;
  }
  return true;
}

// Writes every "/" of `json` as "\/", as the platform's writer does ("/" only
// occurs inside strings in compact JSON), into `out`; false (and `out`
// untouched) when there is none.
bool escapeSlashes(std::string_view json, std::string& out) {
  const auto slashes = static_cast<std::size_t>(std::count(json.begin(), json.end(), '/'));
  if (slashes == 0) return false;
  out.clear();
  out.reserve(json.size() + slashes);
  std::size_t from = 0;
  for (std::size_t at = json.find('/'); at != std::string_view::npos; at = json.find('/', at + 1)) {
    out.append(json, from, at - from);
    out.append("\\/");
    from = at + 1;
  }
  out.append(json, from, std::string_view::npos);
  return true;
}

}  // namespace

std::string_view TolbaDataFunc::defaultKey() { return {build::kWireKey, sizeof(build::kWireKey) - 1}; }

std::optional<std::string> TolbaDataFunc::writeJSON(const Json& object, std::string* error) {
  std::string json;
  JsonWriter writer = writerInto(json);
  if (!writeCompact(object, json, writer, error)) return std::nullopt;
  std::string escaped;
  if (escapeSlashes(json, escaped)) return escaped;
  return json;
}

namespace {

// Writes the tokens of the base64 text of a JSON text that is fed in pieces:
// the runs between the "/" of the text, and the "\/" that replaces each of
// them, so that the escaped text is never written out as a whole.
class TokenWriter {
 public:
  // `out` has room for every token at four bytes.
  TokenWriter(const TokenTable& table, char* out, bool lineBreaks)
      : table_(table), w_(out), lineRoom_(lineBreaks ? kQuadsPerLine : SIZE_MAX) {}

  void feed(const unsigned char* p, std::size_t size) {
    const unsigned char* const end = p + size;
    // Complete the group of three bytes that the previous piece began.
    if (pending_ != 0) {
      for (; pending_ < 3 && p < end; ++p) group_[pending_++] = *p;
      if (pending_ < 3) return;
      pending_ = 0;
      quad((std::uint32_t{group_[0]} << 16) | (std::uint32_t{group_[1]} << 8) | group_[2]);
    }
    // Whole groups, a line at a time. Locals rather than members in the loop:
    // the compiler must assume that a write through `char*` may change any
    // member.
    char* w = w_;
    std::size_t index = index_;
    const TokenTable& table = table_;
    const unsigned char* const whole = p + static_cast<std::size_t>(end - p) / 3 * 3;
    while (p < whole) {
      if (lineRoom_ == 0) lineBreak(w, index);
      const std::size_t groups = std::min(static_cast<std::size_t>(whole - p) / 3, lineRoom_);
      lineRoom_ -= groups;
      for (const unsigned char* const stop = p + groups * 3; p < stop; p += 3, index += 4) {
        const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
        w = putQuad(w, &table.rows[index & (kLineLength - 1)], v >> 18, (v >> 12) & 63, (v >> 6) & 63, v & 63);
      }
    }
    w_ = w;
    index_ = index;
    // At most two bytes left, kept for the next piece or for finish().
    if (p < end) {
      group_[0] = p[0];
      if (end - p > 1) group_[1] = p[1];
      pending_ = static_cast<std::size_t>(end - p);
    }
  }

  // Writes the last quad (with "=" padding) if bytes are left; returns the end
  // of what was written.
  char* finish() {
    if (pending_ != 0) {
      if (lineRoom_ == 0) lineBreak(w_, index_);
      const bool two = pending_ == 2;
      const std::uint32_t v = (std::uint32_t{group_[0]} << 16) | (two ? std::uint32_t{group_[1]} << 8 : 0u);
      w_ = putQuad(w_, &table_.rows[index_ & (kLineLength - 1)], v >> 18, (v >> 12) & 63,
                   two ? (v >> 6) & 63 : kPadColumn, kPadColumn);
      index_ += 4;
      pending_ = 0;
    }
    return w_;
  }

 private:
  static constexpr std::size_t kQuadsPerLine = kLineLength / 4;

  void quad(std::uint32_t v) {
    if (lineRoom_ == 0) lineBreak(w_, index_);
    --lineRoom_;
    w_ = putQuad(w_, &table_.rows[index_ & (kLineLength - 1)], v >> 18, (v >> 12) & 63, (v >> 6) & 63, v & 63);
    index_ += 4;
  }

  // CR LF before a line that follows a full one.
  void lineBreak(char*& w, std::size_t& index) {
    const auto* row = &table_.rows[index & (kLineLength - 1)];
    putToken(w, row[0][kCrColumn]);
    putToken(w, row[1][kLfColumn]);
    index += 2;
    lineRoom_ = kQuadsPerLine;
  }

  const TokenTable& table_;
  char* w_;
  std::size_t index_ = 0;  // position in the base64 text, line breaks included
  std::size_t lineRoom_;   // quads that still fit on the current line
  unsigned char group_[3] = {};
  std::size_t pending_ = 0;  // bytes waiting in group_
};

// The scrambled body of `object`; `lineBreaks` puts CR LF between base64 lines
// of 64 characters (as requests carry them).
std::optional<std::string> encode(const Json& object, std::string_view key, bool lineBreaks) {
  // The JSON text goes to a per-thread scratch buffer: only the body is handed
  // back, so the text needs no allocation (and no growing) of its own.
  thread_local std::string text;
  // The writer is kept with its buffer: making one allocates.
  thread_local JsonWriter jsonWriter = writerInto(text);
  std::string error;
  const bool written = writeCompact(object, text, jsonWriter, &error);
  struct Release {
    ~Release() { releaseIfLarge(text); }
  } release;
  if (!written) {
    platform::log("加密JSON序列化失败----" + error);
    return std::nullopt;
  }
  if (key.size() < kLineLength) {
    platform::log("加密JSON序列化失败----the key table must hold 64 characters");
    return std::nullopt;
  }
  std::unique_ptr<TokenTable> ownTable;
  const TokenTable& table = tokenTableFor(key, ownTable);

  // Sizes of the escaped text: every "/" becomes "\/".
  thread_local std::vector<std::size_t> slashes;
  slashes.clear();
  for (std::size_t at = text.find('/'); at != std::string::npos; at = text.find('/', at + 1)) slashes.push_back(at);
  const std::size_t size = text.size() + slashes.size();
  const std::size_t chars = (size + 2) / 3 * 4;
  const std::size_t breaks = lineBreaks && chars > 0 ? (chars - 1) / kLineLength : 0;
  const std::size_t tokens = chars + 2 * breaks;

  // Every token is written as "_" and its digits (four bytes, the last one
  // possibly overwritten by the next token); the first "_" then becomes the
  // opening "x".
  std::string out(tokens * 4 + 2, '\0');
  TokenWriter writer(table, out.data(), lineBreaks);
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  static constexpr unsigned char kEscapedSlash[] = {'\\', '/'};
  std::size_t from = 0;
  for (const std::size_t at : slashes) {
    writer.feed(data + from, at - from);
    writer.feed(kEscapedSlash, 2);
    from = at + 1;
  }
  writer.feed(data + from, text.size() - from);
  char* w = writer.finish();
  if (slashes.capacity() > kScratchKeep / sizeof(std::size_t)) std::vector<std::size_t>().swap(slashes);
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
