#pragma once
// The one log line written per request, with secrets masked.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace tolba::sandbox {

// The decoded request as it may be logged: the password of a login or a
// registration becomes "***" and an identity card number keeps only its region
// and last four characters. `bodySize` is reported when the body did not decode.
std::string describeRequest(const std::string& path, const std::optional<nlohmann::json>& request,
                            std::size_t bodySize);

}  // namespace tolba::sandbox
