#pragma once
// What a game's own server asks the publisher, server to server: whether a
// client's sign-in is real, and what became of an order. Requests are forms
// ("application/x-www-form-urlencoded") signed like the payment callbacks: the
// field "sign" is the lower-case hex HMAC-SHA256, keyed with the game's app
// secret, of the other fields sorted by name and joined as "name=value&...".
// "time" (seconds since 1970) must lie within five minutes of the server's
// clock, so that a captured request cannot be replayed later.
//
//   POST /server/login/verify  gameid, username, token, time, sign
//     {"ok": 1, "username", "age" ("-1" unknown), "realname" ("1" or "0")}
//   POST /server/order/query   gameid, orderid or cporderid, time, sign
//     {"ok": 1, "orderid", "cporderid", "amount" (yuan), "state" ("unpaid" or
//      "paid"), "method" ("coin", "wechat" or ""), "paidtime" ("" when unpaid)}
// Refusals are {"ok": 0, "error": "<why>"}.

#include <nlohmann/json.hpp>

#include "payment_callback.h"
#include "sandbox_store.h"
#include "server_clock.h"

namespace tolba::sandbox {

class SandboxApi;

class GameServerApi {
 public:
  using Json = nlohmann::json;

  // How far a request's "time" may lie from the server's clock, in seconds.
  static constexpr std::int64_t kLargestClockSkew = 300;

  GameServerApi(Store& store, const SandboxApi& api, const ServerClock& clock)
      : store_(store), api_(api), clock_(clock) {}

  // Whether `path` (with its leading "/") is one of these calls.
  static bool knows(const std::string& path);
  // Answers one call; `fields` is nullopt when the body is not a readable form.
  Json handle(const std::string& path, const std::optional<FormFields>& fields);

 private:
  Json verifyLogin(const FormFields& fields);
  Json queryOrder(const FormFields& fields);
  // The game named by the request when its signature and time are good;
  // otherwise nullopt with `why` set.
  std::optional<GameSettings> signedBy(const FormFields& fields, std::string* why);

  Store& store_;
  const SandboxApi& api_;
  const ServerClock& clock_;
};

}  // namespace tolba::sandbox
