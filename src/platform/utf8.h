#pragma once
// UTF-8 as every part of the SDK reads it (RFC 3629): a character is one to four
// bytes, encoded in its shortest form, at most U+10FFFF and never a surrogate
// (U+D800..U+DFFF). Anything else is invalid: an overlong form, an encoded
// surrogate, a lead byte C0, C1 or F5..FF, a stray continuation byte, a sequence
// cut short. An invalid sequence counts as one character whose length is its
// maximal subpart (the bytes that could still have begun a valid character, at
// least one), and is replaced by U+FFFD where text must be made valid.

#include <cstddef>
#include <string>
#include <string_view>

namespace tolba::platform::utf8 {

inline constexpr char32_t kReplacement = 0xFFFD;

struct Decoded {
  char32_t codePoint;  // kReplacement when invalid
  std::size_t length;  // bytes, at least 1
  bool valid;
};

// The character that starts at byte `at` (< s.size()).
Decoded decode(std::string_view s, std::size_t at);

bool isValid(std::string_view s);

// Characters, an invalid sequence counting as one.
std::size_t length(std::string_view s);

// `s` with each invalid sequence replaced by U+FFFD.
std::string makeValid(std::string_view s);

// Appends the encoding of `c` (U+FFFD for a surrogate or a value above U+10FFFF).
void append(std::string& out, char32_t c);

// Where the character that ends at byte `at` begins (0 at the start).
std::size_t previousBoundary(std::string_view s, std::size_t at);

// The longest prefix of at most `maxBytes` bytes that does not cut a character.
std::string_view truncate(std::string_view s, std::size_t maxBytes);

}  // namespace tolba::platform::utf8
