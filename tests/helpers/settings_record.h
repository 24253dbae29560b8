#pragma once
// The value that the settings crash test's writer stores: a counter and a
// payload derived from it, so that a file holding parts of two writes is told
// apart from one holding a whole write.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace tolba::testing {

inline constexpr char kRecordKey[] = "record";

inline nlohmann::json makeRecord(long long counter) {
  // 1 to 48 KiB, so writes take different times.
  const std::size_t size = 1024 * static_cast<std::size_t>(1 + counter % 48);
  std::string payload;
  payload.reserve(size);
  const std::string unit = std::to_string(counter) + ",";
  while (payload.size() < size) payload += unit;
  return {{"counter", counter}, {"payload", payload}};
}

// The counter of a stored record; 0 when there is none; -1 when the record is
// not one that makeRecord made.
inline long long recordCounter(const std::optional<nlohmann::json>& record) {
  if (!record) return 0;
  if (!record->is_object() || !record->contains("counter") || !(*record)["counter"].is_number_integer()) return -1;
  const auto counter = (*record)["counter"].get<long long>();
  return *record == makeRecord(counter) ? counter : -1;
}

}  // namespace tolba::testing
