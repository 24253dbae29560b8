#pragma once
// How the platform reads loosely typed values (server replies, property lists,
// user defaults). Every place that needs "the integer value of", "the float
// value of" or the "%@" text of a JSON value goes through these functions, so
// the rules live in one place.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tolba::platform {

using Json = nlohmann::json;

// Integer value of a string or number. A string is read like C's strtoll: leading
// blanks, an optional sign, then digits; anything without leading digits gives 0.
// Numbers are truncated towards zero (1.9 gives 1); booleans give 0 or 1; null,
// missing, arrays and objects give 0.
std::int64_t intValue(const Json& value);
std::int64_t intValue(const Json* value);  // nullptr (a missing key) gives 0

// The same for an integer read out of text (used by the wire codec's tokens).
std::int64_t intValueOfText(std::string_view text);

// Float value: strtod rules for strings (leading blanks, no number gives 0),
// numbers as they are, anything else 0.
double doubleValue(const Json& value);
double doubleValue(const Json* value);

// The "%@" description of a value: a string as it is, an integer in decimal, a
// float in its shortest round-trip form, true/false as 1/0, null as "<null>",
// and an array or object as compact JSON.
std::string describe(const Json& value);

// Value of `key` in `object`, or nullptr when `object` is not an object or has no
// such key. Use with intValue / describe to read replies without throwing.
const Json* find(const Json& object, std::string_view key);

// True when `value` exists and is neither null nor a missing key.
inline bool isPresent(const Json* value) { return value != nullptr && !value->is_null(); }

// The string held by `value`, or nullopt when it is missing or not a string.
std::optional<std::string> stringValue(const Json* value);

// The text of a 32-bit float as the platform's number objects print it: at most
// seven significant digits, trailing zeros dropped ("%0.7g": 6 -> "6").
std::string floatText(float value);

// The shortest decimal text that reads back as the same 32-bit float
// (0.01f -> "0.01", 6.0f -> "6").
std::string shortestFloatText(float value);

// A JSON number holding `value` that serialises with the shortest digits that read
// back as the same 32-bit float (so 0.01f is written as 0.01).
Json floatNumber(float value);

// Compact JSON with non-ASCII characters kept as themselves, invalid UTF-8
// replaced rather than thrown on. Does not escape "/".
std::string dumpCompact(const Json& value);

}  // namespace tolba::platform

namespace tolba::platform {
// "%@" of a value that may be nil: "(null)" for nil.
inline std::string describeOrNil(const std::optional<Json>& value) {
  return value ? describe(*value) : std::string("(null)");
}
inline std::string describeOrNil(const std::optional<std::string>& value) {
  return value ? *value : std::string("(null)");
}
}  // namespace tolba::platform
