#include "net/TolbaDataFunc.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/utf8.h"
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
// byte is 0 and the next token overwrites it. The length is kept beside the
// text: reading it costs less than working it out from the fourth byte.
struct TokenText {
  char text[4];
  std::uint32_t length;
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
    t.length = 4;
  } else {
    t.length = 3;
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

// Bytes of a token text: three, or four when the value has three digits.
inline std::size_t lengthOf(const TokenText& t) { return t.length; }

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

// UTF-8 text to UTF-16 code units (the text is known to be valid).
std::u16string toUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const auto d = platform::utf8::decode(s, i);
    i += d.length;
    std::uint32_t cp = d.codePoint;
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

// Builds the document from the JSON library's parser events, as its own
// parse() does, with one difference: a key is inserted with the end of its
// object as the hint. The JSON writer sorts keys, so the texts this codec reads
// nearly always list them in order, and each key then costs one comparison
// instead of a search of the tree. A key that appears again keeps its last
// value, as with parse().
class DomBuilder {
 public:
  explicit DomBuilder(Json& root) : root_(root) {}

  bool null() { return put(nullptr) != nullptr; }
  bool boolean(bool v) { return put(v) != nullptr; }
  bool number_integer(Json::number_integer_t v) { return put(v) != nullptr; }
  bool number_unsigned(Json::number_unsigned_t v) { return put(v) != nullptr; }
  bool number_float(Json::number_float_t v, const Json::string_t& /*text*/) { return put(v) != nullptr; }
  // Copied: the parser reuses the buffer of `v` for the next token.
  bool string(Json::string_t& v) { return put(v) != nullptr; }
  bool binary(Json::binary_t& v) { return put(std::move(v)) != nullptr; }
  bool start_object(std::size_t /*size*/) {
    open_.push_back(put(Json::value_t::object));
    return true;
  }
  bool key(Json::string_t& name) {
    auto& members = open_.back()->get_ref<Json::object_t&>();
    slot_ = &members.try_emplace(members.end(), name)->second;
    return true;
  }
  bool end_object() {
    open_.pop_back();
    return true;
  }
  bool start_array(std::size_t /*size*/) {
    open_.push_back(put(Json::value_t::array));
    return true;
  }
  bool end_array() {
    open_.pop_back();
    return true;
  }
  bool parse_error(std::size_t /*position*/, const std::string& /*token*/, const Json::exception& /*e*/) {
    return false;
  }

 private:
  // Places a value where the text puts it: the root, the end of the open
  // array, or the slot of the last key.
  template <typename Value>
  Json* put(Value&& v) {
    if (open_.empty()) {
      root_ = Json(std::forward<Value>(v));
      return &root_;
    }
    Json& parent = *open_.back();
    if (parent.is_array()) {
      auto& elements = parent.get_ref<Json::array_t&>();
      elements.emplace_back(std::forward<Value>(v));
      return &elements.back();
    }
    *slot_ = Json(std::forward<Value>(v));
    return slot_;
  }

  Json& root_;
  std::vector<Json*> open_;  // the containers being filled, innermost last
  Json* slot_ = nullptr;     // the value of the last key read
};

bool tooDeep(std::string_view json) {
  // Fewer openings than the limit cannot nest beyond it (the common case). The
  // count is taken in blocks of 255 characters with a one-byte counter, which
  // the compiler vectorises without widening.
  if (json.size() <= static_cast<std::size_t>(kMaxDepth)) return false;
  std::size_t openings = 0;
  for (std::size_t from = 0; from < json.size(); from += 255) {
    const std::size_t to = std::min(json.size(), from + 255);
    unsigned char block = 0;
    for (std::size_t i = from; i < to; ++i) block += static_cast<unsigned char>((json[i] == '[') + (json[i] == '{'));
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
// Column kNoValue (-1 in every row) is what the short-token table gives for
// text that is not a token of two or three digits, or a value past the table.
constexpr std::size_t kNoValue = 256;

// Rows kLineLength.. repeat rows 0..2, so that the tokens at key positions p
// to p + 3 read neighbouring rows without wrapping.
struct ValueTable {
  std::array<std::array<std::int8_t, kNoValue + 1>, kLineLength + 3> rows;
};

void fillValueTable(ValueTable& table, std::string_view key) {
  for (std::size_t row = 0; row < kLineLength + 3; ++row) {
    for (std::size_t value = 0; value < kNoValue; ++value) {
      table.rows[row][value] = static_cast<std::int8_t>(characterOf<true>(value, row & (kLineLength - 1), key));
    }
    table.rows[row][kNoValue] = -1;
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

// Base64 text being decoded as its values arrive: whole quads are written as
// three bytes; "=" may only end the text, at most twice.
struct QuadReader {
  char* out;
  std::uint32_t bits = 0;  // the last values read, six bits each
  unsigned count = 0;      // values of the current quad read so far
  unsigned padding = 0;    // "=" read so far

  // Writes the quad that ends with the last value read. `out` has a byte of
  // room past the three.
  void flush(unsigned spare) {
    const std::uint32_t quad = bits >> (6 * spare);
    out[0] = static_cast<char>(quad >> 16);
    out[1] = static_cast<char>(quad >> 8);
    out[2] = static_cast<char>(quad);
    out += 3;
  }
  void value(int v) {
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    if (++count == 4) {
      count = 0;
      flush(0);
    }
  }
  void pair(int a, int b) {
    bits = (bits << 12) | (static_cast<std::uint32_t>(a) << 6) | static_cast<std::uint32_t>(b);
    count += 2;
    if (count >= 4) {
      count -= 4;
      flush(count);
    }
  }
};

// Token values by the low four bits of a token's first three characters (a
// digit's value, 15 for "_"), bit 12 set for a token of two digits: every
// token of two or three digits below 256 has its value here, all else reads
// kNoValue. The digits are thus never multiplied out in the loop.
constexpr std::size_t kShortTwo = std::size_t{1} << 12;
constexpr std::array<std::uint16_t, 2 * kShortTwo> makeShortTokenTable() {
  std::array<std::uint16_t, 2 * kShortTwo> t{};
  for (auto& v : t) v = kNoValue;
  for (unsigned a = 0; a < 10; ++a) {
    for (unsigned b = 0; b < 10; ++b) {
      t[kShortTwo | (a << 8) | (b << 4) | 0xF] = static_cast<std::uint16_t>(a * 10 + b);
      for (unsigned c = 0; c < 10; ++c) {
        const unsigned v = a * 100 + b * 10 + c;
        t[(a << 8) | (b << 4) | c] = static_cast<std::uint16_t>(v < kNoValue ? v : kNoValue);
      }
    }
  }
  return t;
}
constexpr auto kShortToken = makeShortTokenTable();

// The value of the token that starts the (little-endian) bytes `x`, when it
// has two or three digits and its "_" is among the four bytes, and its length
// with the "_"; kNoValue for any other text.
inline std::size_t shortToken(std::uint64_t x, std::size_t& length) {
  const auto t = static_cast<std::uint32_t>(x);
  const bool two = ((t >> 16) & 0xFF) == '_';
  length = two ? 3 : 4;
  // Digits have 3 as their high four bits; "_" ends the token.
  const std::uint32_t mask = two ? 0x00FFF0F0u : 0xFFF0F0F0u;
  const std::uint32_t expected = two ? 0x005F3030u : 0x5F303030u;
  // The low four bits of the three characters side by side, in one multiply.
  const std::size_t index = (((t & 0x000F0F0Fu) * 0x01001001u) >> 16 & 0xFFFu) | (two ? kShortTwo : 0);
  return (t & mask) == expected ? kShortToken[index] : kNoValue;
}

// Turns the tokens between `p` and `end` back into the bytes of their base64
// text, written from `out` on (room for three per four tokens, and one more);
// nullptr when a token does not give a base64 character or the text is not
// strict base64 (whole quads, "=" only at the end), else the end of what was
// written.
// Kept out of line: inlined into decode, its loops ran short of registers.
template <bool Lenient, typename Char>
[[gnu::noinline]] char* untangle(const Char* p, const Char* const end, std::string_view key, char* const out,
                                 bool& sawNonAscii) {
  std::unique_ptr<ValueTable> ownTable;
  const ValueTable& table = valueTableFor(key, ownTable);
  QuadReader reader{out};
  std::size_t index = 0;
  for (;;) {
    if constexpr (sizeof(Char) == 1) {
      // Tokens of two or three digits, each followed by "_" and each giving a
      // base64 character: nearly every token of a well-formed body. Read a
      // quad at a time when one starts here, else a pair at a time. The second
      // token's place is known from the same eight bytes as the first, so the
      // next tokens do not wait for each token's length in turn.
      while (reader.padding == 0 && end - p >= 8) {
        std::uint64_t x = 0;
        std::memcpy(&x, p, 8);
        std::size_t lengthA = 0;
        std::size_t lengthB = 0;
        const std::size_t a = shortToken(x, lengthA);
        const std::size_t b = shortToken(x >> (8 * lengthA), lengthB);
        const auto* rows = &table.rows[index & (kLineLength - 1)];
        // The table's values are signed: -1 marks a text that is not a token.
        const int ca = rows[0][a];  // NOLINT(bugprone-signed-char-misuse)
        const int cb = rows[1][b];  // NOLINT(bugprone-signed-char-misuse)
        const Char* const next = p + lengthA + lengthB;
        if (reader.count == 0 && end - next >= 8) {
          std::uint64_t y = 0;
          std::memcpy(&y, next, 8);
          std::size_t lengthC = 0;
          std::size_t lengthD = 0;
          const std::size_t c = shortToken(y, lengthC);
          const std::size_t d = shortToken(y >> (8 * lengthC), lengthD);
          const int cc = rows[2][c];  // NOLINT(bugprone-signed-char-misuse)
          const int cd = rows[3][d];  // NOLINT(bugprone-signed-char-misuse)
          const auto all = static_cast<unsigned>(ca) | static_cast<unsigned>(cb) | static_cast<unsigned>(cc) |
                           static_cast<unsigned>(cd);
          if ((all & ~63u) == 0) {
            reader.bits = (static_cast<std::uint32_t>(ca) << 18) | (static_cast<std::uint32_t>(cb) << 12) |
                          (static_cast<std::uint32_t>(cc) << 6) | static_cast<std::uint32_t>(cd);
            reader.flush(0);
            index += 4;
            p = next + lengthC + lengthD;
            continue;
          }
        }
        if (((static_cast<unsigned>(ca) | static_cast<unsigned>(cb)) & ~63u) != 0) break;
        reader.pair(ca, cb);
        index += 2;
        p = next;
      }
    }
    // One token of any kind.
    const Char* tokenEnd = p;
    while (tokenEnd < end && *tokenEnd != '_') {
      sawNonAscii |= static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Char>>(*tokenEnd)) >= 0x80;
      ++tokenEnd;
    }
    const std::int64_t value = tokenValue(p, tokenEnd);
    const std::size_t row = index++ & (kLineLength - 1);
    const int c = value >= 0 && value < 256 ? table.rows[row][static_cast<std::size_t>(value)]
                                            : characterOf<Lenient>(static_cast<std::uint64_t>(value), row, key);
    if (c >= 0 && c < kPadding) {
      if (reader.padding != 0) return nullptr;
      reader.value(c);
    } else if (c == kPadding) {
      if (++reader.padding > 2) return nullptr;
      reader.value(0);
    } else if (!Lenient || c != kSkip) {
      return nullptr;
    }
    if (tokenEnd >= end) break;
    p = tokenEnd + 1;
  }
  if (reader.count != 0 || reader.out == out) return nullptr;
  return reader.out - reader.padding;
}

// The same; `sawNonAscii` is set when a token held a character outside ASCII.
template <typename Char>
char* untangle(const Char* p, const Char* const end, std::string_view key, bool lenient, char* out, bool& sawNonAscii) {
  return lenient ? untangle<true>(p, end, key, out, sawNonAscii) : untangle<false>(p, end, key, out, sawNonAscii);
}

bool isAscii(std::string_view s) {
  unsigned char any = 0;
  for (const char c : s) any |= static_cast<unsigned char>(c);
  return any < 0x80;
}

std::optional<Json> decode(std::string_view body, std::string_view key, bool lenient) {
  if (body.empty()) return std::nullopt;

  // Tokens back to the bytes of their base64 text, in one pass. The frame
  // (first and last character, as UTF-16 units) is dropped unseen. A body of
  // ASCII characters (every well-formed one) is read as it is; any other goes
  // through UTF-16. Fewer bytes than tokens, in a per-thread buffer (a large
  // allocation for every reply would cost more than reading its tokens).
  thread_local std::string scratch;
  struct Release {
    ~Release() { releaseIfLarge(scratch); }
  } release;
  const auto buffer = [](std::size_t size) {
    if (scratch.size() < size) scratch.resize(size);
    return scratch.data();
  };
  char* values = nullptr;  // the decoded text
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
    if (!isAscii(body) && !platform::utf8::isValid(body)) return std::nullopt;
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
  const bool bad = written == nullptr;
  if (bad) {
    logDecodeFailure("the body is not valid scrambled base64");
    return std::nullopt;
  }
  // The bytes must be UTF-8 text: the JSON parser checks that as it reads
  // (strictly: no overlong forms, no surrogates), and a byte outside ASCII is
  // only allowed inside a string.
  const std::string_view bytes(values, static_cast<std::size_t>(written - values));
  if (tooDeep(bytes)) {
    logDecodeFailure("the JSON text is nested too deeply");
    return std::nullopt;
  }
  Json parsed;
  DomBuilder builder(parsed);
  if (!Json::sax_parse(bytes.begin(), bytes.end(), &builder)) {
    logDecodeFailure("the data is not valid JSON");
    return std::nullopt;
  }
  if (!parsed.is_object() && !parsed.is_array()) {
    logDecodeFailure("the JSON top level is neither an object nor an array");
    return std::nullopt;
  }
  return parsed;
}

// Compact JSON, byte for byte as the JSON library's dump() writes it (no
// spaces, keys in the document's order, UTF-8 kept as it is), except that "/"
// is written "\/" as the platform's writer does. Read through the library's
// public accessors and written straight into the caller's buffer: the
// library's dump() builds a fresh string a character at a time, which costs
// more than the rest of a request's encoding together. Decimals are the
// exception: they are rare in the SDK's documents, and the library's own
// shortest form is what servers have always read, so it writes them.
class CompactWriter {
 public:
  explicit CompactWriter(std::string& out) : out_(out) {}

  // False, with `error` set, for what JSON cannot hold (NaN, infinity, text
  // that is not UTF-8) and for documents nested deeper than kMaxDepth.
  bool write(const Json& v, int depth = 0) {
    switch (v.type()) {
      case Json::value_t::object: {
        if (++depth > kMaxDepth) return fail("the document is nested too deeply");
        out_ += '{';
        bool first = true;
        for (const auto& [key, value] : v.get_ref<const Json::object_t&>()) {
          if (!first) out_ += ',';
          first = false;
          if (!text(key)) return false;
          out_ += ':';
          if (!write(value, depth)) return false;
        }
        out_ += '}';
        return true;
      }
      case Json::value_t::array: {
        if (++depth > kMaxDepth) return fail("the document is nested too deeply");
        out_ += '[';
        bool first = true;
        for (const auto& e : v.get_ref<const Json::array_t&>()) {
          if (!first) out_ += ',';
          first = false;
          if (!write(e, depth)) return false;
        }
        out_ += ']';
        return true;
      }
      case Json::value_t::string: return text(v.get_ref<const Json::string_t&>());
      case Json::value_t::boolean: out_ += v.get<bool>() ? "true" : "false"; return true;
      case Json::value_t::null: out_ += "null"; return true;
      case Json::value_t::number_integer: return integer(v.get<std::int64_t>());
      case Json::value_t::number_unsigned: return integer(v.get<std::uint64_t>());
      case Json::value_t::number_float:
        if (!std::isfinite(v.get<double>())) return fail("Invalid number value (NaN or infinity) in JSON write");
        out_ += v.dump();
        return true;
      default: out_ += v.dump(); return true;  // binary values and the like, which hold no text
    }
  }
  const std::string& error() const { return error_; }

 private:
  bool fail(std::string why) {
    error_ = std::move(why);
    return false;
  }
  template <typename Int>
  bool integer(Int n) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out_.append(digits, static_cast<std::size_t>(end - digits));
    return true;
  }
  // A string with its quotes, escaped as the library escapes it; runs that
  // need no escape are copied whole.
  bool text(std::string_view s) {
    if (!platform::utf8::isValid(s)) return fail("invalid UTF-8 text in JSON write");
    out_ += '"';
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
      const auto c = static_cast<unsigned char>(s[i]);
      if (c >= 0x20 && c != '"' && c != '\\' && c != '/') continue;
      out_.append(s.data() + run, i - run);
      run = i + 1;
      switch (c) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case '/': out_ += "\\/"; break;
        case '\b': out_ += "\\b"; break;
        case '\f': out_ += "\\f"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        default: {
          static constexpr char kHex[] = "0123456789abcdef";
          const char escaped[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
          out_.append(escaped, sizeof escaped);
        }
      }
    }
    out_.append(s.data() + run, s.size() - run);
    out_ += '"';
    return true;
  }

  std::string& out_;
  std::string error_;
};

// Compact JSON of `object` into `text` (replacing what it held); false with
// `error` set when it cannot be written.
bool writeCompact(const Json& object, std::string& text, std::string* error) {
  text.clear();
  if (!object.is_object() && !object.is_array()) {
    if (error) *error = "Invalid top-level type in JSON write";
    return false;
  }
  CompactWriter writer(text);
  if (!writer.write(object)) {
    if (error) *error = writer.error();
    return false;
  }
  return true;
}

}  // namespace

std::string_view TolbaDataFunc::defaultKey() { return {build::kWireKey, sizeof(build::kWireKey) - 1}; }

std::optional<std::string> TolbaDataFunc::writeJSON(const Json& object, std::string* error) {
  std::string text;
  if (!writeCompact(object, text, error)) return std::nullopt;
  return text;
}

namespace {

// Writes the tokens of the base64 text of `size` bytes from `p` on, with CR LF
// between lines of 64 characters when `lineBreaks` is set, and returns the end.
// `w` has room for every token at four bytes.
char* writeTokens(const TokenTable& table, const unsigned char* p, std::size_t size, char* w, bool lineBreaks) {
  constexpr std::size_t kQuadsPerLine = kLineLength / 4;
  const unsigned char* const end = p + size;
  const unsigned char* const whole = p + size / 3 * 3;
  std::size_t index = 0;                                         // position in the base64 text, line breaks included
  std::size_t lineRoom = lineBreaks ? kQuadsPerLine : SIZE_MAX;  // quads that still fit on the line
  // CR LF before a line that follows a full one.
  const auto lineBreak = [&] {
    const auto* row = &table.rows[index & (kLineLength - 1)];
    putToken(w, row[0][kCrColumn]);
    putToken(w, row[1][kLfColumn]);
    index += 2;
    lineRoom = kQuadsPerLine;
  };
  // Whole groups of three bytes, a line at a time.
  while (p < whole) {
    if (lineRoom == 0) lineBreak();
    const std::size_t groups = std::min(static_cast<std::size_t>(whole - p) / 3, lineRoom);
    lineRoom -= groups;
    for (const unsigned char* const stop = p + groups * 3; p < stop; p += 3, index += 4) {
      const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
      w = putQuad(w, &table.rows[index & (kLineLength - 1)], v >> 18, (v >> 12) & 63, (v >> 6) & 63, v & 63);
    }
  }
  // The last one or two bytes, with "=" padding.
  if (p < end) {
    if (lineRoom == 0) lineBreak();
    const bool two = end - p == 2;
    const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (two ? std::uint32_t{p[1]} << 8 : 0u);
    w = putQuad(w, &table.rows[index & (kLineLength - 1)], v >> 18, (v >> 12) & 63, two ? (v >> 6) & 63 : kPadColumn,
                kPadColumn);
  }
  return w;
}

// The scrambled body of `object`; `lineBreaks` puts CR LF between base64 lines
// of 64 characters (as requests carry them).
std::optional<std::string> encode(const Json& object, std::string_view key, bool lineBreaks) {
  thread_local std::string json;
  const struct Release {
    ~Release() { releaseIfLarge(json); }
  } release;
  std::string error;
  if (!writeCompact(object, json, &error)) {
    platform::log("加密JSON序列化失败----" + error);
    return std::nullopt;
  }
  if (key.size() < kLineLength) {
    platform::log("加密JSON序列化失败----the key table must hold 64 characters");
    return std::nullopt;
  }
  std::unique_ptr<TokenTable> ownTable;
  const TokenTable& table = tokenTableFor(key, ownTable);

  const std::size_t chars = (json.size() + 2) / 3 * 4;
  const std::size_t breaks = lineBreaks && chars > 0 ? (chars - 1) / kLineLength : 0;
  const std::size_t tokens = chars + 2 * breaks;

  // Every token is written as "_" and its digits (four bytes, the last one
  // possibly overwritten by the next token); the first "_" then becomes the
  // opening "x".
  std::string out(tokens * 4 + 2, '\0');
  char* w =
      writeTokens(table, reinterpret_cast<const unsigned char*>(json.data()), json.size(), out.data(), lineBreaks);
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
    const std::size_t len = platform::utf8::decode(text, i).length;
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
