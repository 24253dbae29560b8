#pragma once
// The twelve wire endpoints of the sandbox, without HTTP: a decoded request
// dictionary in, a reply dictionary out. Each endpoint answers in its own status
// key and message key, also when it refuses.
//
// The SDK's requests carry no credential after the login, so the server binds
// them itself: a channel login (and the aggregation sign-in) opens a session
// for the account on the game from the device that logged in. A request that
// names a device acts only for an account with a session from that device; a
// request without one only for an account with a session on the game. An order
// is paid (or asked about) only by the account and device that submitted it.
//
// Players under 18 (by the birth date of their verified identity card) are held
// to the minors' rules on the server's clock: sign-in only inside the play-time
// window, whose remaining seconds the sign-in reply carries ("playleft", with
// "servertime"); every later request of their session refused once the window
// has ended; orders over their spending caps refused. A player without a
// real-name record is not signed in (unless the options allow it).

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "sandbox_options.h"
#include "sandbox_store.h"
#include "server_clock.h"

namespace tolba::sandbox {

class SandboxApi {
 public:
  using Json = nlohmann::json;

  // `secret` is the server's signing secret; the keys that sign logins and hash
  // stored credentials are derived from it.
  SandboxApi(Store& store, const SandboxOptions& options, const std::string& secret,
             const ServerClock& clock = ServerClock::wall());

  // Called after an order is paid by coins (the callback outbox has news).
  void setPaidHandler(std::function<void()> handler) { paid_ = std::move(handler); }

  // The keyed hash under which a login signature or a token is stored.
  std::string credentialHash(std::string_view kind, std::string_view value) const;

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
  Json payQuery(const Json& r);
  struct Session {
    std::optional<Account> account;
    std::string refusal;  // the player's message when there is no account
  };
  // The account `uid` when it has an open session on `gameId` (from `device`
  // unless that is empty) and, for a minor, inside the play-time window;
  // otherwise no account, the refusal's message, and a log line saying why
  // `path` refused.
  Session inSession(const char* path, std::optional<std::int64_t> uid, const std::string& gameId,
                    const std::string& device, bool playTimeApplies = true);
  // Puts a minor's seconds of play left and the server's time into `reply`.
  void addPlayLeft(const Account& account, Json& reply);
  // A minor's spending checked against the caps; an empty text when allowed.
  std::string spendingRefusal(const Account& account, const std::string& gameId, Cents amount);

  Store& store_;
  const SandboxOptions& options_;
  const ServerClock& clock_;
  std::string signKey_;
  std::string hashKey_;
  std::function<void()> paid_;
  // Checked against when the account is unknown, so that a wrong name costs the
  // same time as a wrong password.
  std::string dummyHash_;
};

// The age of the account's holder on the server's date, or -1 without a
// real-name record.
int ageOf(const Account& account, std::int64_t now);

// A fen amount as a JSON number: whole yuan as an integer, otherwise a decimal.
nlohmann::json centsNumber(Cents cents);

}  // namespace tolba::sandbox
