#pragma once
// The one log line written per request, with secrets masked.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace tolba::sandbox {

// The decoded request as it may be logged: passwords, login signatures, tokens,
// identity card numbers and real names are masked (a short prefix at most).
// `bodySize` is reported when the body did not decode.
std::string describeRequest(const std::string& path, const std::optional<nlohmann::json>& request,
                            std::size_t bodySize);

}  // namespace tolba::sandbox

namespace tolba::sandbox {

// `text` with control characters (C0, DEL and C1) and bytes that are not UTF-8
// written as \xNN, so that what a client sends cannot move a terminal's cursor
// or forge a log line.
std::string escapeControls(const std::string& text);

}  // namespace tolba::sandbox
