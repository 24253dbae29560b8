#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "net/TolbaDataFunc.h"
#include "support/sdk_fixture.h"

namespace tolba {
namespace {

using Json = nlohmann::json;
using testing::LogCapture;

constexpr char kDecodeFailure[] = "解密JSON序列化失败----";
constexpr char kEncodeFailure[] = "加密JSON序列化失败----";

std::vector<int> tokensOf(const std::string& body) {
  std::vector<int> out;
  std::string inner = body.substr(1, body.size() - 2);
  std::size_t start = 0;
  for (;;) {
    const auto end = inner.find('_', start);
    out.push_back(std::stoi(inner.substr(start, end - start)));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

std::string bodyOf(const std::vector<int>& tokens, char first = 'x', char last = 'y') {
  std::string out(1, first);
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (i > 0) out += '_';
    out += std::to_string(tokens[i]);
  }
  out += last;
  return out;
}

// Scrambles an arbitrary base64 text with the default key, the way a server
// would, so that malformed inner texts can be fed to the decoder.
std::string scramble(const std::string& base64) {
  const auto key = TolbaDataFunc::defaultKey();
  std::vector<int> tokens;
  for (std::size_t i = 0; i < base64.size(); ++i) {
    tokens.push_back(static_cast<unsigned char>(base64[i]) + static_cast<unsigned char>(key[i % 64]));
  }
  return bodyOf(tokens);
}

TEST(TolbaDataFuncTest, EncodesTheReferenceVectors) {
  EXPECT_EQ(TolbaDataFunc::codingJSON(Json::object()), "x168_153_151_136y");
  EXPECT_EQ(TolbaDataFunc::codingJSON({{"a", "b"}}), "x168_223_177_179_130_221_189_202_134_225_129_179y");
  EXPECT_EQ(TolbaDataFunc::codingJSON({{"z", 1}}), "x168_223_177_129_130_221_189_217_147_201_116_183y");
  EXPECT_EQ(TolbaDataFunc::codingJSON({{"url", "http://h/p"}}),
            "x168_223_177_124_156_224_197_202_124_225_129_233_146_121_153_220_129_188_217_183_200_151_164_190_171_133_"
            "162_238_143_186_133_150y");
  EXPECT_EQ(TolbaDataFunc::codingJSON({{"名", "值"}}),
            "x168_223_179_183_164_188_126_202_124_225_131_230_149_125_190_206_152_161_159_126y");
  // Every kind of value is written as the JSON library writes it, "/" aside.
  const Json every = {{"s", "q\"b\\s/\b\f\n\r\t\x01\x1f\x7f名"},
                      {"n", {-42, UINT64_MAX, 0.1, -0.0, 1e300, 5e-324, 1.0}},
                      {"e", {Json::object(), Json::array(), nullptr, true, false}}};
  std::string dumped = every.dump();
  EXPECT_EQ(TolbaDataFunc::writeJSON(every), dumped.replace(dumped.find('/'), 1, "\\/"));
}

TEST(TolbaDataFuncTest, LongBodiesBreakTheBase64TextEverySixtyFourCharacters) {
  const Json doc = {{"k", std::string(41, 'x')}};  // 49 JSON bytes
  const auto body = TolbaDataFunc::codingJSON(doc);
  ASSERT_TRUE(body);
  const auto tokens = tokensOf(*body);
  ASSERT_EQ(tokens.size(), 70u);
  EXPECT_EQ(tokens[64], 80);   // CR + key entry 0 ("C")
  EXPECT_EQ(tokens[65], 112);  // LF + key entry 1 ("f")

  LogCapture log;
  EXPECT_FALSE(TolbaDataFunc::decodingJSON(*body));
  EXPECT_TRUE(log.contains(kDecodeFailure));
  EXPECT_EQ(TolbaDataFunc::decodingJSONLenient(*body), doc);

  // A server's reply of the same document has no break and decodes strictly.
  const auto reply = TolbaDataFunc::codingReplyJSON(doc);
  ASSERT_TRUE(reply);
  const auto replyTokens = tokensOf(*reply);
  ASSERT_EQ(replyTokens.size(), 68u);
  EXPECT_EQ(std::vector<int>(replyTokens.begin(), replyTokens.begin() + 64),
            std::vector<int>(tokens.begin(), tokens.begin() + 64));
  EXPECT_EQ(TolbaDataFunc::decodingJSON(*reply), doc);
}

// Base64 the plain way, with CR LF between lines of 64 when `lineBreaks`.
std::string base64Of(const std::string& bytes, bool lineBreaks = false) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    if (lineBreaks && i != 0 && i % 48 == 0) out += "\r\n";
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
    out += alphabet[v >> 18];
    out += alphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? alphabet[(v >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? alphabet[v & 63] : '=';
  }
  return out;
}

// The body of a JSON text the plain way: each base64 character plus its key character.
std::string plainBody(const std::string& json, std::string_view key, bool lineBreaks) {
  const std::string base64 = base64Of(json, lineBreaks);
  std::vector<int> tokens;
  for (std::size_t i = 0; i < base64.size(); ++i) {
    tokens.push_back(static_cast<unsigned char>(base64[i]) + static_cast<unsigned char>(key[i % 64]));
  }
  return bodyOf(tokens);
}

TEST(TolbaDataFuncTest, EncodesAsThePlainAlgorithmWithAnyKeyAndEveryLength) {
  std::string reversed(TolbaDataFunc::defaultKey());
  std::reverse(reversed.begin(), reversed.end());
  std::mt19937 random(7);
  for (const std::string_view key : {TolbaDataFunc::defaultKey(), std::string_view(reversed)}) {
    // Lengths across several lines (key positions wrap, breaks only between
    // lines), with "/" (written "\/") at every offset of a base64 group.
    for (std::size_t n = 0; n < 160; ++n) {
      std::string text;
      static const char* const pieces[] = {"a", "b", "/", "c", "名", "/"};
      for (std::size_t i = 0; i < n; ++i) text += pieces[random() % 6];
      const Json doc = {{"t", text}, {"u", "http://h/p"}};
      const auto json = TolbaDataFunc::writeJSON(doc);
      ASSERT_TRUE(json);
      EXPECT_EQ(TolbaDataFunc::codingJSON(doc, key), plainBody(*json, key, true)) << *json;
      const auto reply = TolbaDataFunc::codingReplyJSON(doc, key);
      EXPECT_EQ(reply, plainBody(*json, key, false)) << *json;
      EXPECT_EQ(TolbaDataFunc::decodingJSON(*reply, key), doc);
      EXPECT_EQ(TolbaDataFunc::decodingJSONLenient(*TolbaDataFunc::codingJSON(doc, key), key), doc);
    }
  }
}

TEST(TolbaDataFuncTest, DecodingIgnoresTheFrameAndReadsTokensLikeThePlatform) {
  auto tokens = tokensOf(*TolbaDataFunc::codingJSON({{"a", "b"}}));
  EXPECT_EQ(TolbaDataFunc::decodingJSON(bodyOf(tokens, 'a', 'b')), Json({{"a", "b"}}));

  // Leading blanks and a sign are read; only the low 16 bits of the difference count.
  std::string body = "x ";
  body += std::to_string(tokens[0]);
  body += "_+";
  body += std::to_string(tokens[1] + 65536);
  for (std::size_t i = 2; i < tokens.size(); ++i) {
    body += '_';
    body += std::to_string(tokens[i]);
    body += "zz";
  }
  body += 'y';
  EXPECT_EQ(TolbaDataFunc::decodingJSON(body), Json({{"a", "b"}}));
}

TEST(TolbaDataFuncTest, BodiesTooShortOrNotTextDecodeToNothingSilently) {
  LogCapture log;
  EXPECT_FALSE(TolbaDataFunc::decodingJSON(""));
  EXPECT_FALSE(TolbaDataFunc::decodingJSON("x"));
  EXPECT_FALSE(TolbaDataFunc::decodingJSON("\xe5"));
  EXPECT_FALSE(TolbaDataFunc::decodingJSON("x168_\xff\xfe_153y"));
  EXPECT_TRUE(log.lines().empty());
}

TEST(TolbaDataFuncTest, RefusesWhatIsNotAnObjectOrArrayOfJson) {
  LogCapture log;
  EXPECT_FALSE(TolbaDataFunc::decodingJSON("xy"));                  // one empty token
  EXPECT_FALSE(TolbaDataFunc::decodingJSON("x168_153_151y"));       // not whole quads
  EXPECT_FALSE(TolbaDataFunc::decodingJSON(scramble("e30")));       // missing padding
  EXPECT_FALSE(TolbaDataFunc::decodingJSON(scramble("e3=0")));      // padding inside
  EXPECT_FALSE(TolbaDataFunc::decodingJSON(scramble("e30=e30=")));  // padding mid-text
  EXPECT_FALSE(TolbaDataFunc::decodingJSON(scramble("aGVsbG8=")));  // "hello"
  EXPECT_FALSE(TolbaDataFunc::decodingJSON(scramble("IngiCg==")));  // "\"x\"\n": a bare string
  EXPECT_FALSE(TolbaDataFunc::decodingJSON(scramble("NDI=")));      // 42
  EXPECT_FALSE(TolbaDataFunc::decodingJSON(scramble("/w==")));      // byte 0xFF: not UTF-8
  {
    // A token past the 64-bit range reads as the largest value, not as a wrapped one.
    auto tokens = tokensOf(*TolbaDataFunc::codingJSON(Json::object()));
    std::string body = "x";
    for (std::size_t i = 0; i < 3; ++i) {
      body += std::to_string(tokens[i]);
      body += '_';
    }
    body += "18446744073709551";
    body += std::to_string(616 + tokens[3]);
    body += 'y';
    EXPECT_FALSE(TolbaDataFunc::decodingJSON(body));
    // One far below the range reads as the lowest value; the key is taken off
    // without overflowing.
    EXPECT_FALSE(TolbaDataFunc::decodingJSON("x-99999999999999999999_153_151_136y"));
    EXPECT_FALSE(TolbaDataFunc::decodingJSONLenient("x-9223372036854775808_153_151_136y"));
  }
  EXPECT_EQ(log.count(kDecodeFailure), 12u);

  EXPECT_EQ(TolbaDataFunc::decodingJSON(scramble("WzEsMl0=")), Json::array({1, 2}));  // [1,2]
  // A table other than the server's decodes nothing.
  std::string other(TolbaDataFunc::defaultKey());
  std::swap(other[0], other[1]);
  EXPECT_FALSE(TolbaDataFunc::decodingJSON(*TolbaDataFunc::codingJSON({{"a", "b"}}), other));
}

TEST(TolbaDataFuncTest, RefusesDecodedBytesThatAreNotUtf8TextOrTooDeep) {
  LogCapture log;
  EXPECT_EQ(TolbaDataFunc::decodingJSON(scramble(base64Of("[\"\xe5\x90\x8d\"]"))), Json::array({"名"}));
  for (const std::string& bad : std::vector<std::string>{"[\"\xc0\xaf\"]",          // overlong "/"
                                                         "[\"\xed\xa0\x80\"]",      // a UTF-16 surrogate
                                                         "[\"\xe5\x90\"]",          // cut short
                                                         "[\"\xf4\x90\x80\x80\"]",  // beyond U+10FFFF
                                                         "[1]\xff",
                                                         // The encoder refuses to write one this deep.
                                                         std::string(100000, '[') + std::string(100000, ']')}) {
    EXPECT_FALSE(TolbaDataFunc::decodingJSON(scramble(base64Of(bad))));
  }
  EXPECT_EQ(log.count(kDecodeFailure), 6u);
}

TEST(TolbaDataFuncTest, EncodingFailsOnValuesJsonCannotHold) {
  LogCapture log;
  EXPECT_FALSE(TolbaDataFunc::codingJSON({{"s", "\xff"}}));
  EXPECT_FALSE(TolbaDataFunc::codingJSON({{"f", std::nan("")}}));
  EXPECT_FALSE(TolbaDataFunc::codingJSON("just a string"));
  EXPECT_EQ(log.count(kEncodeFailure), 3u);
}

TEST(TolbaDataFuncTest, DicToJsonMakesEveryValueAString) {
  EXPECT_FALSE(TolbaDataFunc::dicToJson(std::nullopt));
  EXPECT_EQ(TolbaDataFunc::dicToJson(Json::object()), "{}");
  const auto text = TolbaDataFunc::dicToJson(Json{{"n", 5}, {"s", "a/b"}, {"d", {{"x", 1}}}, {"z", nullptr}});
  ASSERT_TRUE(text);
  EXPECT_EQ(Json::parse(*text), Json({{"n", "5"}, {"s", "a/b"}, {"d", "{\"x\":1}"}, {"z", "<null>"}}));
  EXPECT_NE(text->find("a\\/b"), std::string::npos);
}

TEST(TolbaDataFuncTest, SplitsTextAndBuildsTheKeyTable) {
  EXPECT_TRUE(TolbaDataFunc::getArrayFromStr("").empty());
  EXPECT_EQ(TolbaDataFunc::getArrayFromStr("a名b"), (std::vector<std::string>{"a", "名", "b"}));
  const auto table = TolbaDataFunc::getArray();
  ASSERT_EQ(table.size(), 64u);
  EXPECT_EQ(table.front(), "C");
  EXPECT_EQ(table.back(), "u");
}

}  // namespace
}  // namespace tolba
