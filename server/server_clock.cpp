#include "server_clock.h"

#include <chrono>
#include <cstdio>

namespace tolba::sandbox {
namespace {

std::int64_t wallMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool digits(const std::string& s, std::size_t at, std::size_t count, int* out) {
  if (at + count > s.size()) return false;
  int v = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  *out = v;
  return true;
}

}  // namespace

std::int64_t ServerClock::nowMs() const { return wallMs() + offsetMs_.load(); }
std::int64_t ServerClock::nowSeconds() const { return nowMs() / 1000; }

void ServerClock::startAt(std::int64_t epochSeconds) { offsetMs_ = epochSeconds * 1000 - wallMs(); }

const ServerClock& ServerClock::wall() {
  static const ServerClock clock;
  return clock;
}

std::optional<std::int64_t> parseMoment(const std::string& text) {
  // YYYY-MM-DDTHH:MM:SS, then "Z", "+HH:MM", "-HH:MM" or nothing (China).
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (text.size() < 19 || !digits(text, 0, 4, &year) || text[4] != '-' || !digits(text, 5, 2, &month) ||
      text[7] != '-' || !digits(text, 8, 2, &day) || (text[10] != 'T' && text[10] != ' ') ||
      !digits(text, 11, 2, &hour) || text[13] != ':' || !digits(text, 14, 2, &minute) || text[16] != ':' ||
      !digits(text, 17, 2, &second)) {
    return std::nullopt;
  }
  int zoneMinutes = 8 * 60;
  const std::string zone = text.substr(19);
  if (zone == "Z") {
    zoneMinutes = 0;
  } else if (!zone.empty()) {
    int zh = 0, zm = 0;
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || !digits(zone, 1, 2, &zh) || zone[3] != ':' ||
        !digits(zone, 4, 2, &zm) || zh > 14 || zm > 59) {
      return std::nullopt;
    }
    zoneMinutes = (zone[0] == '-' ? -1 : 1) * (zh * 60 + zm);
  }
  using namespace std::chrono;
  const year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                            std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  const std::int64_t days = sys_days(date).time_since_epoch().count();
  return days * 86400 + hour * 3600 + minute * 60 + second - zoneMinutes * 60;
}

std::string chinaTimeText(std::int64_t epochSeconds) {
  using namespace std::chrono;
  const std::int64_t local = epochSeconds + 8 * 3600;
  const auto days = sys_days(std::chrono::days(local >= 0 ? local / 86400 : (local - 86399) / 86400));
  const year_month_day ymd{days};
  const std::int64_t inDay = local - days.time_since_epoch().count() * 86400;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()), static_cast<int>(inDay / 3600),
                static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60));
  return buffer;
}

}  // namespace tolba::sandbox
