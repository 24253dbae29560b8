#include "minor_rules.h"

#include <chrono>
#include <cstdio>

namespace tolba::sandbox {

const MinorRules& minorRules() {
  // Version 2021-08: play only 20:00-21:00 on Fridays, Saturdays, Sundays and
  // statutory holidays; no payments under 8, 50 / 200 yuan (payment / month)
  // from 8 to under 16, 100 / 400 yuan from 16 to under 18.
  static const MinorRules rules{
      "2021-08",
      18,
      {true, false, false, false, false, true, true},
      true,
      20 * 60,
      21 * 60,
      {
          {0, 8, false, 0, 0},
          {8, 16, true, 50 * 100, 200 * 100},
          {16, 18, true, 100 * 100, 400 * 100},
      },
  };
  return rules;
}

ChinaMoment chinaMoment(std::int64_t epochSeconds) {
  using namespace std::chrono;
  constexpr std::int64_t kOffset = 8 * 3600;
  const std::int64_t local = epochSeconds + kOffset;
  const std::int64_t dayNumber = local >= 0 ? local / 86400 : (local - 86399) / 86400;
  const sys_days day{std::chrono::days(dayNumber)};
  const year_month_day ymd{day};
  ChinaMoment m;
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02u-%02u", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                static_cast<unsigned>(ymd.day()));
  m.date = date;
  m.weekday = static_cast<int>(weekday(day).c_encoding());
  m.secondOfDay = static_cast<int>(local - dayNumber * 86400);
  const sys_days first{ymd.year() / ymd.month() / 1};
  const sys_days next{(ymd.year() / ymd.month() / 1) + months(1)};
  m.monthStart = first.time_since_epoch().count() * 86400 - kOffset;
  m.monthEnd = next.time_since_epoch().count() * 86400 - kOffset;
  return m;
}

PlayVerdict playVerdict(const MinorRules& rules, int age, std::int64_t now, bool holiday) {
  if (age >= rules.adultAge) return {true, std::nullopt};
  const ChinaMoment m = chinaMoment(now);
  const bool day = rules.playDays[static_cast<std::size_t>(m.weekday)] || (rules.holidays && holiday);
  const int start = rules.windowStartMinute * 60;
  const int end = rules.windowEndMinute * 60;
  if (!day || m.secondOfDay < start || m.secondOfDay >= end) return {false, 0};
  return {true, end - m.secondOfDay};
}

namespace {

std::string yuan(Cents cents) {
  char buffer[32];
  if (cents % 100 == 0) {
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(cents / 100));
  } else {
    std::snprintf(buffer, sizeof buffer, "%.2f", static_cast<double>(cents) / 100.0);
  }
  return buffer;
}

}  // namespace

SpendVerdict spendVerdict(const MinorRules& rules, int age, Cents amount, Cents paidThisMonth) {
  if (age >= rules.adultAge) return {};
  for (const auto& band : rules.bands) {
    if (age < band.fromAge || age >= band.belowAge) continue;
    if (!band.payments) {
      return {false, "根据国家规定，未满" + std::to_string(band.belowAge) + "周岁的用户不能充值"};
    }
    if (band.perPayment > 0 && amount > band.perPayment) {
      return {false, "根据国家规定，未成年人单次充值不得超过" + yuan(band.perPayment) + "元"};
    }
    if (band.perMonth > 0 && paidThisMonth + amount > band.perMonth) {
      return {false, "根据国家规定，未成年人每月充值累计不得超过" + yuan(band.perMonth) + "元（本月已充值" +
                         yuan(paidThisMonth) + "元）"};
    }
    return {};
  }
  return {};
}

std::string playTimeMessage(const MinorRules& rules) {
  static const char* const kDays[] = {"周日", "周一", "周二", "周三", "周四", "周五", "周六"};
  std::string days;
  for (int i = 1; i <= 7; ++i) {  // Monday first, Sunday last
    if (!rules.playDays[static_cast<std::size_t>(i % 7)]) continue;
    if (!days.empty()) days += "、";
    days += kDays[i % 7];
  }
  if (rules.holidays) days += days.empty() ? "法定节假日" : "和法定节假日";
  auto clock = [](int minute) {
    return std::to_string(minute / 60) + "时" + (minute % 60 ? std::to_string(minute % 60) + "分" : "");
  };
  return "根据国家规定，未成年人仅可在" + days + clock(rules.windowStartMinute) + "至" + clock(rules.windowEndMinute) +
         "进行游戏";
}

}  // namespace tolba::sandbox
