#pragma once
// Reading message texts out of server replies and panel results, whatever JSON
// type the server chose.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tolba/platform/value.h"

namespace tolba {

// The "%@" text of `object[key]`, or nullopt when the key is missing or null.
inline std::optional<std::string> replyText(const nlohmann::json& object, const char* key) {
  const nlohmann::json* v = platform::find(object, key);
  if (!platform::isPresent(v)) return std::nullopt;
  return platform::describe(*v);
}

// Whether `reply[key]` reads as the integer 1, the servers' "accepted"; false
// for a nil reply and for a missing or unreadable status.
inline bool replyStatusIsOne(const std::optional<nlohmann::json>& reply, const char* key) {
  return reply && platform::intValue(platform::find(*reply, key)) == 1;
}

}  // namespace tolba
