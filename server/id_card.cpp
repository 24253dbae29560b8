#include "id_card.h"

#include <cstdio>

#include <chrono>

namespace tolba::sandbox {
namespace {

constexpr int kWeights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
constexpr char kCheck[] = "10X98765432";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int digitsValue(std::string_view s) {
  int v = 0;
  for (const char c : s) v = v * 10 + (c - '0');
  return v;
}

bool before(const BirthDate& a, const BirthDate& b) {
  if (a.year != b.year) return a.year < b.year;
  if (a.month != b.month) return a.month < b.month;
  return a.day < b.day;
}

bool realDate(const BirthDate& d) {
  const std::chrono::year_month_day ymd{std::chrono::year{d.year}, std::chrono::month{static_cast<unsigned>(d.month)},
                                        std::chrono::day{static_cast<unsigned>(d.day)}};
  return d.month >= 1 && d.month <= 12 && d.day >= 1 && ymd.ok();
}

}  // namespace

char idCardCheckCharacter(std::string_view first17) {
  if (first17.size() != 17) return '\0';
  int sum = 0;
  for (std::size_t i = 0; i < 17; ++i) {
    if (!isDigit(first17[i])) return '\0';
    sum += (first17[i] - '0') * kWeights[i];
  }
  return kCheck[sum % 11];
}

std::optional<BirthDate> parseIdCard(std::string_view number, const BirthDate& today, std::string* why) {
  auto fail = [&](const char* text) -> std::optional<BirthDate> {
    if (why) *why = text;
    return std::nullopt;
  };
  if (number.size() != 18) return fail("身份证号应为18位");
  const char expected = idCardCheckCharacter(number.substr(0, 17));
  if (expected == '\0') return fail("身份证号格式不正确");
  char last = number[17];
  if (last == 'x') last = 'X';
  if (last != expected) return fail("身份证号校验位不正确");
  const BirthDate birth{digitsValue(number.substr(6, 4)), digitsValue(number.substr(10, 2)),
                        digitsValue(number.substr(12, 2))};
  if (birth.year < 1900 || !realDate(birth)) return fail("身份证号中的出生日期无效");
  if (before(today, birth)) return fail("身份证号中的出生日期无效");
  return birth;
}

int ageOn(const BirthDate& birth, const BirthDate& today) {
  int age = today.year - birth.year;
  if (today.month < birth.month || (today.month == birth.month && today.day < birth.day)) --age;
  return age < 0 ? 0 : age;
}

std::string birthDateText(const BirthDate& d) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", d.year, d.month, d.day);
  return buffer;
}

std::optional<BirthDate> parseBirthDateText(const std::string& s) {
  if (s.size() != 8) return std::nullopt;
  for (const char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  return BirthDate{std::stoi(s.substr(0, 4)), std::stoi(s.substr(4, 2)), std::stoi(s.substr(6, 2))};
}

BirthDate todayInChina() {
  const auto now = std::chrono::system_clock::now() + std::chrono::hours(8);
  const std::chrono::year_month_day ymd{std::chrono::floor<std::chrono::days>(now)};
  return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
          static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

std::string maskIdCard(std::string_view number) {
  if (number.size() <= 10) return std::string(number.size(), '*');
  return std::string(number.substr(0, 6)) + std::string(number.size() - 10, '*') +
         std::string(number.substr(number.size() - 4));
}

}  // namespace tolba::sandbox
