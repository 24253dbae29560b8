#include "game_server_api.h"

#include "crypto.h"
#include "sandbox_api.h"

namespace tolba::sandbox {
namespace {

using Json = nlohmann::json;

constexpr char kVerify[] = "/server/login/verify";
constexpr char kQuery[] = "/server/order/query";

Json refused(const std::string& why) { return {{"ok", 0}, {"error", why}}; }

std::string field(const FormFields& fields, const char* name) {
  const auto it = fields.find(name);
  return it == fields.end() ? std::string() : it->second;
}

std::optional<std::int64_t> seconds(const std::string& text) {
  if (text.empty() || text.size() > 12) return std::nullopt;
  std::int64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

}  // namespace

bool GameServerApi::knows(const std::string& path) { return path == kVerify || path == kQuery; }

Json GameServerApi::handle(const std::string& path, const std::optional<FormFields>& fields) {
  if (!fields) return refused("malformed form");
  if (path == kVerify) return verifyLogin(*fields);
  if (path == kQuery) return queryOrder(*fields);
  return refused("unknown call");
}

std::optional<GameSettings> GameServerApi::signedBy(const FormFields& fields, std::string* why) {
  const auto game = store_.game(field(fields, "gameid"));
  if (!game || game->secret.empty()) {
    *why = "unknown game";
    return std::nullopt;
  }
  if (!constantTimeEquals(callbackSignature(fields, game->secret), field(fields, "sign"))) {
    *why = "bad signature";
    return std::nullopt;
  }
  const auto time = seconds(field(fields, "time"));
  const std::int64_t now = clock_.nowSeconds();
  if (!time || *time < now - kLargestClockSkew || *time > now + kLargestClockSkew) {
    *why = "time is more than 300 s from the server's clock";
    return std::nullopt;
  }
  return game;
}

Json GameServerApi::verifyLogin(const FormFields& fields) {
  std::string why;
  const auto game = signedBy(fields, &why);
  if (!game) return refused(why);
  const std::string username = field(fields, "username");
  const std::string token = field(fields, "token");
  const auto uid = SandboxApi::uidOfAggregationName(username);
  const auto account = uid ? store_.accountByUid(*uid) : std::nullopt;
  if (!account) return refused("unknown user");
  // A later sign-in replaces the token; a logout clears it.
  if (token.empty() || account->tokenHash.empty() ||
      !constantTimeEquals(api_.credentialHash("token", token), account->tokenHash)) {
    return refused("token is not the user's current sign-in");
  }
  const std::int64_t now = clock_.nowSeconds();
  if (!store_.accountInSession(account->uid, game->gameId, "", now)) return refused("session closed or expired");
  const int age = ageOf(*account, now);
  return {{"ok", 1},
          {"username", username},
          {"age", std::to_string(age)},
          {"realname", account->realNameState != 0 ? "1" : "0"}};
}

Json GameServerApi::queryOrder(const FormFields& fields) {
  std::string why;
  const auto game = signedBy(fields, &why);
  if (!game) return refused(why);
  const std::string orderId = field(fields, "orderid");
  const std::string cpOrderId = field(fields, "cporderid");
  std::optional<Order> order;
  if (!orderId.empty()) {
    order = store_.orderById(orderId);
  } else if (!cpOrderId.empty()) {
    order = store_.orderByCpOrderId(game->gameId, cpOrderId);
  }
  // Another game's order is not there for this one.
  if (!order || order->gameId != game->gameId || (!cpOrderId.empty() && order->cpOrderId != cpOrderId)) {
    return refused("order not found");
  }
  return {{"ok", 1},
          {"orderid", order->orderId},
          {"cporderid", order->cpOrderId},
          {"amount", centsText(order->amount)},
          {"state", order->state},
          {"method", order->state == "paid" ? order->method : std::string()},
          {"paidtime", order->state == "paid" ? std::to_string(order->paidAt) : std::string()}};
}

}  // namespace tolba::sandbox
