#pragma once
// The budget lines every benchmark ends with, one per budget, for scripts:
//   budget <name>: <value> <unit> (limit <limit>) met
//   budget <name>: <value> <unit> (limit <limit>) missed

#include <cstdio>
#include <string>

namespace tolba::bench {

// A budget whose value must stay at or under `limit`.
inline bool printBudget(const std::string& name, double value, const std::string& unit, double limit,
                        int decimals = 2) {
  const bool met = value <= limit;
  std::printf("budget %s: %.*f %s (limit %.*f) %s\n", name.c_str(), decimals, value, unit.c_str(), decimals, limit,
              met ? "met" : "missed");
  std::fflush(stdout);
  return met;
}

// A budget whose value must reach at least `floor`.
inline bool printBudgetAtLeast(const std::string& name, double value, const std::string& unit, double floor,
                               int decimals = 0) {
  const bool met = value >= floor;
  std::printf("budget %s: %.*f %s (limit %.*f) %s\n", name.c_str(), decimals, value, unit.c_str(), decimals, floor,
              met ? "met" : "missed");
  std::fflush(stdout);
  return met;
}

}  // namespace tolba::bench
