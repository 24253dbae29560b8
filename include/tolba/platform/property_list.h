#pragma once
// Property lists (XML or binary) read into JSON values.
// Dictionaries become objects, arrays arrays, strings strings, integers and reals
// numbers, booleans booleans, dates their ISO 8601 text and data its base64 text.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace tolba::platform {

// The property list in `path`, or nullopt when the file cannot be read or parsed.
std::optional<nlohmann::json> readPropertyList(const std::string& path);
std::optional<nlohmann::json> parsePropertyList(const std::string& bytes);
// An XML property list of `value` (objects, arrays, strings, numbers, booleans).
std::string writeXmlPropertyList(const nlohmann::json& value);

}  // namespace tolba::platform
