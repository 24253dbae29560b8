#include "amount.h"

#include <charconv>
#include <string>

namespace tolba::sandbox {
namespace {

constexpr int kLongestExponent = 400;

ParsedAmount fail(AmountError error) { return {std::nullopt, error}; }

bool digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

ParsedAmount parseAmount(std::string_view text) {
  // mantissa digits (with the decimal point dropped) and the power of ten they are scaled by
  std::string digits;
  int scale = 0;
  std::size_t i = 0;
  while (i < text.size() && digit(text[i])) digits += text[i++];
  if (digits.empty()) return fail(AmountError::Malformed);  // ".5"
  if (i < text.size() && text[i] == '.') {
    ++i;
    const std::size_t start = i;
    while (i < text.size() && digit(text[i])) {
      digits += text[i++];
      --scale;
    }
    if (i == start) return fail(AmountError::Malformed);  // "6." has no fraction digits
  }
  if (digits.empty()) return fail(AmountError::Malformed);
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t start = i;
    int exponent = 0;
    while (i < text.size() && digit(text[i])) {
      if (exponent < kLongestExponent) exponent = exponent * 10 + (text[i] - '0');
      ++i;
    }
    if (i == start) return fail(AmountError::Malformed);
    scale += negative ? -exponent : exponent;
  }
  if (i != text.size()) return fail(AmountError::Malformed);

  // In fen: digits x 10^(scale + 2).
  scale += 2;
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return fail(AmountError::NotPositive);
  digits.erase(0, first);
  while (scale < 0) {
    if (digits.back() != '0') return fail(AmountError::FinerThanFen);
    digits.pop_back();
    ++scale;
  }
  // The cap has 11 digits in fen; anything longer is above it.
  if (static_cast<long>(digits.size()) + scale > 11) return fail(AmountError::AboveCap);
  Cents cents = 0;
  for (const char c : digits) cents = cents * 10 + (c - '0');
  for (int s = 0; s < scale; ++s) cents *= 10;
  if (cents > kMaxAmount) return fail(AmountError::AboveCap);
  return {cents, AmountError::None};
}

ParsedAmount parseAmount(const nlohmann::json* value) {
  if (value == nullptr || value->is_null()) return fail(AmountError::Missing);
  if (value->is_string()) return parseAmount(std::string_view(value->get_ref<const std::string&>()));
  if (value->is_number_unsigned()) return parseAmount(std::to_string(value->get<std::uint64_t>()));
  if (value->is_number_integer()) {
    const auto v = value->get<std::int64_t>();
    return v <= 0 ? fail(AmountError::NotPositive) : parseAmount(std::to_string(v));
  }
  if (value->is_number_float()) {
    const double v = value->get<double>();
    if (!(v > 0)) return fail(v <= 0 ? AmountError::NotPositive : AmountError::Malformed);
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    if (result.ec != std::errc()) return fail(AmountError::Malformed);
    return parseAmount(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
  }
  return fail(AmountError::Malformed);
}

const char* amountErrorMessage(AmountError error) {
  switch (error) {
    case AmountError::None: return "";
    case AmountError::Missing: return "缺少金额";
    case AmountError::Malformed: return "金额格式不正确";
    case AmountError::NotPositive: return "金额必须大于零";
    case AmountError::FinerThanFen: return "金额最小单位为分";
    case AmountError::AboveCap: return "金额超过上限100000000元";
  }
  return "金额无效";
}

}  // namespace tolba::sandbox
