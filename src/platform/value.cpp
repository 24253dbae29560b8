#include "tolba/platform/value.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace tolba::platform {
namespace {

std::int64_t clampToInt64(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9.2233720368547758e18) return std::numeric_limits<std::int64_t>::max();
  if (d <= -9.2233720368547758e18) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(d);
}

}  // namespace

std::int64_t intValueOfText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                             text[i] == '\f' || text[i] == '\v')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate as a negative number so that INT64_MIN fits; saturate on overflow.
  std::int64_t acc = 0;
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  bool overflow = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (!overflow) {
      if (acc < (kMin + digit) / 10) {
        overflow = true;
      } else {
        acc = acc * 10 - digit;
      }
    }
  }
  if (overflow) return negative ? kMin : std::numeric_limits<std::int64_t>::max();
  if (negative) return acc;
  return acc == kMin ? std::numeric_limits<std::int64_t>::max() : -acc;
}

std::int64_t intValue(const Json& value) {
  switch (value.type()) {
    case Json::value_t::number_integer: return value.get<std::int64_t>();
    case Json::value_t::number_unsigned: {
      const auto u = value.get<std::uint64_t>();
      return u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                 ? std::numeric_limits<std::int64_t>::max()
                 : static_cast<std::int64_t>(u);
    }
    case Json::value_t::number_float: return clampToInt64(value.get<double>());
    case Json::value_t::boolean: return value.get<bool>() ? 1 : 0;
    case Json::value_t::string: return intValueOfText(value.get_ref<const std::string&>());
    default: return 0;
  }
}

std::int64_t intValue(const Json* value) { return value ? intValue(*value) : 0; }

double doubleValue(const Json& value) {
  switch (value.type()) {
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float: return value.get<double>();
    case Json::value_t::boolean: return value.get<bool>() ? 1.0 : 0.0;
    case Json::value_t::string: {
      const std::string& s = value.get_ref<const std::string&>();
      const char* begin = s.c_str();
      char* end = nullptr;
      errno = 0;
      const double d = std::strtod(begin, &end);
      return end == begin ? 0.0 : d;
    }
    default: return 0.0;
  }
}

double doubleValue(const Json* value) { return value ? doubleValue(*value) : 0.0; }

std::string dumpCompact(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string describe(const Json& value) {
  switch (value.type()) {
    case Json::value_t::string: return value.get<std::string>();
    case Json::value_t::null: return "<null>";
    case Json::value_t::boolean: return value.get<bool>() ? "1" : "0";
    case Json::value_t::number_integer: return std::to_string(value.get<std::int64_t>());
    case Json::value_t::number_unsigned: return std::to_string(value.get<std::uint64_t>());
    case Json::value_t::number_float: {
      const double d = value.get<double>();
      if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15) {
        return std::to_string(static_cast<long long>(d));
      }
      char buf[64];
      const auto res = std::to_chars(buf, buf + sizeof buf, d);
      return std::string(buf, res.ptr);
    }
    case Json::value_t::discarded: return "";
    default: return dumpCompact(value);
  }
}

const Json* find(const Json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(std::string(key));
  return it == object.end() ? nullptr : &*it;
}

std::optional<std::string> stringValue(const Json* value) {
  if (value == nullptr || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

std::string floatText(float value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%0.7g", static_cast<double>(value));
  return buf;
}

std::string shortestFloatText(float value) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

Json floatNumber(float value) {
  if (!std::isfinite(value)) return nullptr;
  if (value == std::trunc(value) && std::fabs(value) < 9e15f) {
    return static_cast<std::int64_t>(value);
  }
  // The double nearest to the shortest decimal text of the float prints back as
  // that text, so the JSON writer emits e.g. 0.01 rather than 0.009999999776...
  return std::strtod(shortestFloatText(value).c_str(), nullptr);
}

}  // namespace tolba::platform
