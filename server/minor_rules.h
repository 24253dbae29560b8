#pragma once
// The rules for players under 18 as one versioned table of data: when they may
// play and how much they may pay. The server applies them at sign-in, on every
// request of a minor's session and at order submission; the ages come from the
// verified identity card and the times from the server's clock.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "amount.h"

namespace tolba::sandbox {

// Spending for ages in [fromAge, belowAge): no payments at all, or caps in fen
// (0: no cap).
struct SpendingBand {
  int fromAge = 0;
  int belowAge = 0;
  bool payments = true;
  Cents perPayment = 0;
  Cents perMonth = 0;
};

struct MinorRules {
  const char* version;
  int adultAge;
  // Days on which minors may play, Sunday first; statutory holidays too when set.
  std::array<bool, 7> playDays;
  bool holidays;
  // The window on those days, minutes of the day in China Standard Time, [start, end).
  int windowStartMinute;
  int windowEndMinute;
  std::vector<SpendingBand> bands;
};

// The rules in force.
const MinorRules& minorRules();

// What China's calendar says of a moment (UTC+8).
struct ChinaMoment {
  std::string date;  // "YYYY-MM-DD"
  int weekday = 0;   // 0 Sunday .. 6 Saturday
  int secondOfDay = 0;
  std::int64_t monthStart = 0;  // the calendar month holding it, [monthStart, monthEnd), seconds since 1970
  std::int64_t monthEnd = 0;
};
ChinaMoment chinaMoment(std::int64_t epochSeconds);

// Whether a player of `age` may play at `now` (`holiday`: the day is a statutory
// holiday), and for how many seconds more (0 when not; adults are unbounded,
// reported as nullopt).
struct PlayVerdict {
  bool allowed = true;
  std::optional<std::int64_t> secondsLeft;
};
PlayVerdict playVerdict(const MinorRules& rules, int age, std::int64_t now, bool holiday);

// Whether a player of `age` may pay `amount` with `paidThisMonth` already paid
// this month; when not, the message for the player names the cap.
struct SpendVerdict {
  bool allowed = true;
  std::string message;
};
SpendVerdict spendVerdict(const MinorRules& rules, int age, Cents amount, Cents paidThisMonth);

// The message of a sign-in refused outside the play-time window.
std::string playTimeMessage(const MinorRules& rules);

}  // namespace tolba::sandbox
