#pragma once
// Account names as they are stored and compared: valid UTF-8 in Unicode
// normalisation form C, so that "é" typed as one character or as "e" and a
// combining accent names the same account. Spaces around a name are dropped.
// Characters that make a name look like another or hide part of it are
// refused: control characters, direction overrides and marks, zero-width and
// other invisible formatting characters, fillers that draw nothing (Hangul
// fillers, the blank braille cell, the combining grapheme joiner, variation
// selectors), and code points that Unicode has not assigned.
//
// Look-alikes: each name has a skeleton (compatibility forms folded to their
// plain ones, case folded, ignorable characters dropped), and a name whose
// skeleton is an existing account's is taken ("ａｌｉｃｅ" and "Alice" beside
// "alice").

#include <optional>
#include <string>
#include <string_view>

namespace tolba::sandbox {

// The longest account name, in bytes of its normalised form.
inline constexpr std::size_t kLongestAccountName = 64;

// The name in NFC; nullopt with `why` set (a message for the player) when it is
// empty, too long or holds a refused character.
std::optional<std::string> normaliseAccountName(std::string_view name, std::string* why = nullptr);

// The skeleton that look-alike names share; "" for text that is not UTF-8.
std::string accountNameSkeleton(std::string_view name);

}  // namespace tolba::sandbox
