#pragma once
// Amounts of money on the wire: one parser for the text "6", "0.01" or "1e+08"
// and for the JSON numbers 6 or 0.01, exact to the fen. Nothing is rounded: a
// fraction of a fen, zero, a negative amount or anything above the cap of
// 100,000,000.00 yuan is refused, with the reason.

#include <cstdint>
#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tolba::sandbox {

// Amounts and balances are kept in fen (hundredths of a yuan or of a coin).
using Cents = std::int64_t;

inline constexpr Cents kMaxAmount = 100'000'000'00;  // a hundred million yuan

enum class AmountError { None, Missing, Malformed, NotPositive, FinerThanFen, AboveCap };

struct ParsedAmount {
  std::optional<Cents> cents;
  AmountError error = AmountError::None;
};

// Decimal digits with an optional fraction and exponent, nothing else (no
// sign, no blanks, no "0x", no "inf").
ParsedAmount parseAmount(std::string_view text);
// A text as above, or a JSON number read as the shortest decimal text that
// gives it back (0.01 is 0.01, 0.005 is 0.005 and is refused).
ParsedAmount parseAmount(const nlohmann::json* value);

// The message a reply gives for `error` ("金额不能精确到分以下" ...).
const char* amountErrorMessage(AmountError error);

}  // namespace tolba::sandbox
