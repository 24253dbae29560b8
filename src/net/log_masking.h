#pragma once
// What a log line may show of a credential. Passwords, login signatures,
// tokens, identity card numbers and real names never appear in full in a log
// line or in the demo's output: lines keep their keys, only the values are
// masked. Shared by the SDK, the sandbox server and the demo.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tolba {

// "***" after at most the first `prefix` characters of `value` (whole UTF-8
// characters, and never more than a quarter of the value).
std::string maskSecret(std::string_view value, std::size_t prefix = 0);

// A copy of a request dictionary sent to `path` ("sdkmini/login/dologin"), or of
// the reply from it, with every credential value masked. Keys that mean a
// credential on every endpoint ("sign", "token", "password", ...) are masked at
// any depth, also inside JSON texts carried as strings ("extrasparams").
nlohmann::json maskedRequest(std::string_view path, const nlohmann::json& request);
nlohmann::json maskedReply(std::string_view path, const nlohmann::json& reply);
// The same for a dictionary whose endpoint is not known.
nlohmann::json maskedDictionary(const nlohmann::json& value);

}  // namespace tolba
