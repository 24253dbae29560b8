#pragma once
// The eleven wire endpoints of the sandbox, without HTTP: a decoded request
// dictionary in, a reply dictionary out. Each endpoint answers in its own status
// key and message key, also when it refuses.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "sandbox_options.h"
#include "sandbox_store.h"

namespace tolba::sandbox {

class SandboxApi {
 public:
  using Json = nlohmann::json;

  SandboxApi(Store& store, const SandboxOptions& options);

  // Whether `path` (no leading "/") is one of the endpoints.
  static bool knows(const std::string& path);
  // A well-formed refusal of `path` carrying `message`.
  static Json refusal(const std::string& path, const std::string& message);
  // The status key of `path`'s replies ("a", "z" or "code").
  static const char* statusKey(const std::string& path);

  // Answers one request. `request` is nullopt when the body did not decode.
  // `publicBase` is this server's address as the client sees it
  // ("http://127.0.0.1:8080"), for links in replies.
  Json handle(const std::string& path, const std::optional<Json>& request, const std::string& publicBase);

  // The aggregation user name of an account, and back.
  static std::string aggregationName(std::int64_t uid);
  static std::optional<std::int64_t> uidOfAggregationName(const std::string& name);

 private:
  Json login(const Json& r);
  Json registerAccount(const Json& r);
  Json idCheck(const Json& r);
  Json channelRole(const Json& r);
  Json coinPay(const Json& r);
  Json weChatPay(const Json& r, const std::string& publicBase);
  Json balance(const Json& r);
  Json signIn(const Json& r);
  Json aggregationRole(const Json& r);
  Json submitOrder(const Json& r);
  Json logout(const Json& r);

  Store& store_;
  const SandboxOptions& options_;
  std::string secret_;
  // Checked against when the account is unknown, so that a wrong name costs the
  // same time as a wrong password.
  std::string dummyHash_;
};

// A fen amount as a JSON number: whole yuan as an integer, otherwise a decimal.
nlohmann::json centsNumber(Cents cents);

}  // namespace tolba::sandbox
