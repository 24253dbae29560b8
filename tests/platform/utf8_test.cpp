#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolba::platform::utf8 {
namespace {

struct Case {
  const char* what;
  std::string bytes;
  bool valid;
  std::size_t characters;
  std::string madeValid;
};

const std::string kFFFD = "\xEF\xBF\xBD";

TEST(Utf8Test, TheHardCases) {
  const std::vector<Case> cases = {
      {"ascii and Chinese", "a\xE4\xB8\xAD", true, 2, "a\xE4\xB8\xAD"},
      {"the last character", "\xF4\x8F\xBF\xBF", true, 1, "\xF4\x8F\xBF\xBF"},
      {"the first four-byte character", "\xF0\x90\x80\x80", true, 1, "\xF0\x90\x80\x80"},
      {"the last before the surrogates", "\xED\x9F\xBF", true, 1, "\xED\x9F\xBF"},
      {"overlong slash, two bytes", "\xC0\xAF", false, 2, kFFFD + kFFFD},
      {"overlong, C1 lead", "\xC1\xBF", false, 2, kFFFD + kFFFD},
      {"overlong, three bytes", "\xE0\x80\xAF", false, 3, kFFFD + kFFFD + kFFFD},
      {"overlong, four bytes", "\xF0\x80\x80\xAF", false, 4, kFFFD + kFFFD + kFFFD + kFFFD},
      {"high surrogate", "\xED\xA0\x80", false, 3, kFFFD + kFFFD + kFFFD},
      {"low surrogate", "\xED\xBF\xBF", false, 3, kFFFD + kFFFD + kFFFD},
      {"above U+10FFFF", "\xF4\x90\x80\x80", false, 4, kFFFD + kFFFD + kFFFD + kFFFD},
      {"F5 lead", "\xF5\x80\x80\x80", false, 4, kFFFD + kFFFD + kFFFD + kFFFD},
      {"truncated three-byte, then ascii", "\xE4\xB8x", false, 2, kFFFD + "x"},
      {"truncated at the end", "ab\xF0\x9F\x98", false, 3, "ab" + kFFFD},
      {"stray continuation", "\x80x", false, 2, kFFFD + "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(isValid(c.bytes), c.valid);
    EXPECT_EQ(length(c.bytes), c.characters);
    EXPECT_EQ(makeValid(c.bytes), c.madeValid);
    EXPECT_TRUE(isValid(makeValid(c.bytes)));
  }
}

TEST(Utf8Test, DecodingEncodingAndBoundaries) {
  const std::string text = "a\xE4\xB8\xAD\xF0\x9F\x98\x80";  // a, 中, 😀
  EXPECT_EQ(decode(text, 1).codePoint, U'\u4E2D');
  EXPECT_EQ(decode(text, 4).codePoint, U'\U0001F600');
  std::string encoded;
  for (char32_t c : {U'a', U'\u4E2D', U'\U0001F600'}) append(encoded, c);
  EXPECT_EQ(encoded, text);
  std::string refused;
  append(refused, 0xD800);
  append(refused, 0x110000);
  EXPECT_EQ(refused, kFFFD + kFFFD);
  EXPECT_EQ(previousBoundary(text, text.size()), 4u);
  EXPECT_EQ(previousBoundary(text, 4), 1u);
  EXPECT_EQ(previousBoundary(text, 1), 0u);
  EXPECT_EQ(previousBoundary("a\x80\x80\x80\x80\x80", 6), 5u);  // stray bytes go back one at a time
  EXPECT_EQ(truncate(text, 6), "a\xE4\xB8\xAD");
  EXPECT_EQ(truncate(text, 8), text);
}

}  // namespace
}  // namespace tolba::platform::utf8
