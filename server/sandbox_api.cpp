#include "sandbox_api.h"

#include <chrono>
#include <cstdio>
#include <functional>

#include "account_name.h"
#include "amount.h"
#include "crypto.h"
#include "id_card.h"
#include "minor_rules.h"
#include "tolba/platform/log.h"
#include "tolba/platform/value.h"

namespace tolba::sandbox {
namespace {

using Json = nlohmann::json;

constexpr std::size_t kLongestName = 64;       // bytes of a real name
constexpr std::size_t kLongestPassword = 128;  // bytes of a password
constexpr std::size_t kLongestField = 256;     // bytes of any other stored text

struct Endpoint {
  const char* path;
  const char* status;
  const char* message;
};

// Each endpoint's status key and the key its refusals carry the message under.
constexpr Endpoint kEndpoints[] = {
    {"sdkstandard/login/logout", "a", "b"},   {"sdkstandard/login/index", "a", "b"},
    {"sdkstandard/role/index", "a", "b"},     {"sdkstandard/pay/index", "a", "b"},
    {"sdkmini/login/dologin", "z", "x"},      {"sdkmini/login/register", "z", "d"},
    {"sdkmini/login/idcheck", "z", "msg"},    {"sdkmini/User/setRole", "z", "msg"},
    {"sdkmini/ttbpay/ttbnew", "z", "c"},      {"sdkmini/wxh5/h5pay", "z", "c"},
    {"sdkmini/pay/getPayWay", "code", "msg"}, {"sdkmini/pay/query", "z", "c"},
};

const Endpoint* endpointOf(const std::string& path) {
  for (const auto& e : kEndpoints) {
    if (path == e.path) return &e;
  }
  return nullptr;
}

// The text of a request value: strings as they are, numbers in decimal; nullopt
// for a missing key, null, or a container.
std::optional<std::string> text(const Json& r, const char* key) {
  const Json* v = platform::find(r, key);
  if (!platform::isPresent(v) || v->is_structured()) return std::nullopt;
  return v->is_string() ? v->get<std::string>() : platform::describe(*v);
}

std::string textOr(const Json& r, const char* key) {
  auto t = text(r, key);
  if (!t) return {};
  if (t->size() > kLongestField) t->resize(kLongestField);
  return *t;
}

// A channel user id: the decimal account number.
std::optional<std::int64_t> parseUid(const std::optional<std::string>& t) {
  if (!t || t->empty() || t->size() > 18) return std::nullopt;
  std::int64_t v = 0;
  for (const char c : *t) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

// The amount of a request value: a text such as "6" or "0.01", or a number.
ParsedAmount amountOf(const Json& r, const char* key) { return parseAmount(platform::find(r, key)); }

constexpr char kNoSession[] = "登录已失效，请重新登录";
constexpr char kPlayTimeOver[] = "今日游戏时间已结束";

bool blank(const std::string& s) {
  for (const char c : s) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

bool hasControlCharacter(const std::string& s) {
  for (const char c : s) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  }
  return false;
}

// The date in China at `now`.
BirthDate dateInChina(std::int64_t now) {
  const std::string d = chinaMoment(now).date;  // YYYY-MM-DD
  return {std::stoi(d.substr(0, 4)), std::stoi(d.substr(5, 2)), std::stoi(d.substr(8, 2))};
}

}  // namespace

int ageOf(const Account& account, std::int64_t now) {
  if (account.realNameState == 0) return -1;
  const auto birth = parseBirthDateText(account.birthDate);
  if (!birth) return -1;
  return ageOn(*birth, dateInChina(now));
}

Json centsNumber(Cents cents) {
  if (cents % 100 == 0) return cents / 100;
  return static_cast<double>(cents) / 100.0;
}

SandboxApi::SandboxApi(Store& store, const SandboxOptions& options, const std::string& secret, const ServerClock& clock)
    : store_(store),
      options_(options),
      clock_(clock),
      signKey_(hmacSha256Hex(secret, "login-signature")),
      hashKey_(hmacSha256Hex(secret, "stored-credential")),
      dummyHash_(hashPassword(randomHex(8), options.passwordIterations)) {}

std::string SandboxApi::credentialHash(std::string_view kind, std::string_view value) const {
  return hmacSha256Hex(hashKey_, std::string(kind) + ":" + std::string(value));
}

SandboxApi::Session SandboxApi::inSession(const char* path, std::optional<std::int64_t> uid, const std::string& gameId,
                                          const std::string& device, bool playTimeApplies) {
  if (!uid) return {std::nullopt, kNoSession};
  const std::int64_t now = clock_.nowSeconds();
  auto account = store_.accountInSession(*uid, gameId, device, now);
  if (!account) {
    if (options_.logRequests) {
      platform::log(std::string("[sandbox] ") + path + " refused: account " + std::to_string(*uid) +
                    " has no open session on game \"" + gameId + "\"" +
                    (device.empty() ? std::string() : " from device \"" + device + "\""));
    }
    return {std::nullopt, kNoSession};
  }
  if (playTimeApplies && options_.minorRules) {
    const int age = ageOf(*account, now);
    if (age >= 0 && !playVerdict(minorRules(), age, now, store_.isHoliday(chinaMoment(now).date)).allowed) {
      // The window has ended: the session ends with it.
      store_.recordLogout(account->uid, gameId, now);
      if (options_.logRequests) {
        platform::log(std::string("[sandbox] ") + path + " refused: account " + std::to_string(*uid) +
                      " is a minor outside the play-time window; session closed");
      }
      return {std::nullopt, kPlayTimeOver};
    }
  }
  return {account, {}};
}

std::string SandboxApi::spendingRefusal(const Account& account, const std::string& gameId, Cents amount) {
  if (!options_.minorRules) return {};
  const std::int64_t now = clock_.nowSeconds();
  const int age = ageOf(account, now);
  if (age < 0) return {};
  const ChinaMoment m = chinaMoment(now);
  const Cents paid = store_.paidBetween(account.uid, gameId, m.monthStart, m.monthEnd);
  const SpendVerdict verdict = spendVerdict(minorRules(), age, amount, paid);
  return verdict.allowed ? std::string() : verdict.message;
}

bool SandboxApi::knows(const std::string& path) { return endpointOf(path) != nullptr; }

const char* SandboxApi::statusKey(const std::string& path) {
  const Endpoint* e = endpointOf(path);
  return e ? e->status : "z";
}

Json SandboxApi::refusal(const std::string& path, const std::string& message) {
  const Endpoint* e = endpointOf(path);
  Json reply = Json::object();
  reply[e ? e->status : "z"] = 0;
  reply[e ? e->message : "msg"] = message;
  return reply;
}

std::string SandboxApi::aggregationName(std::int64_t uid) { return "tb" + std::to_string(uid); }

std::optional<std::int64_t> SandboxApi::uidOfAggregationName(const std::string& name) {
  if (name.size() < 3 || name.compare(0, 2, "tb") != 0) return std::nullopt;
  return parseUid(name.substr(2));
}

Json SandboxApi::handle(const std::string& path, const std::optional<Json>& request, const std::string& publicBase) {
  if (!knows(path)) return refusal(path, "接口不存在");
  if (!request || !request->is_object()) return refusal(path, "请求无法解析");
  const Json& r = *request;
  try {
    if (path == "sdkmini/login/dologin") return login(r);
    if (path == "sdkmini/login/register") return registerAccount(r);
    if (path == "sdkmini/login/idcheck") return idCheck(r);
    if (path == "sdkmini/User/setRole") return channelRole(r);
    if (path == "sdkmini/ttbpay/ttbnew") return coinPay(r);
    if (path == "sdkmini/wxh5/h5pay") return weChatPay(r, publicBase);
    if (path == "sdkmini/pay/getPayWay") return balance(r);
    if (path == "sdkstandard/login/index") return signIn(r);
    if (path == "sdkstandard/role/index") return aggregationRole(r);
    if (path == "sdkstandard/pay/index") return submitOrder(r);
    if (path == "sdkmini/pay/query") return payQuery(r);
    return logout(r);
  } catch (const std::exception& e) {
    platform::log(std::string("sandbox: ") + path + " failed: " + e.what());
    return refusal(path, "服务器内部错误");
  }
}

Json SandboxApi::login(const Json& r) {
  const auto name = text(r, "z");
  const auto password = text(r, "b");
  if (!name || name->empty() || !password || password->empty())
    return refusal("sdkmini/login/dologin", "请输入账号和密码");
  // Names are compared in the form they are stored in.
  const auto normalised = normaliseAccountName(*name);
  const auto account = normalised ? store_.accountByName(*normalised) : std::nullopt;
  const bool passwordOk = verifyPassword(*password, account ? account->passwordHash : dummyHash_);
  if (!account || !passwordOk) return refusal("sdkmini/login/dologin", "账号或密码错误");
  const std::int64_t now = clock_.nowSeconds();
  const std::string loginTime = std::to_string(now);
  const std::string uid = std::to_string(account->uid);
  const std::string sign = hmacSha256Hex(signKey_, uid + ":" + loginTime);
  if (!store_.recordLogin(account->uid, credentialHash("sign", sign), loginTime, textOr(r, "d"), textOr(r, "e"),
                          now + options_.sessionSeconds)) {
    return refusal("sdkmini/login/dologin", "服务器内部错误");
  }
  return {{"z", 1}, {"b", uid}, {"e", loginTime}, {"d", sign}, {"nrz", account->realNameState}};
}

Json SandboxApi::registerAccount(const Json& r) {
  const char* path = "sdkmini/login/register";
  const auto name = text(r, "z");
  const auto password = text(r, "b");
  if (!name || blank(*name)) return refusal(path, "账号不能为空");
  std::string why;
  const auto normalised = normaliseAccountName(*name, &why);
  if (!normalised) return refusal(path, why);
  if (!password || password->empty()) return refusal(path, "密码不能为空");
  if (password->size() > kLongestPassword) return refusal(path, "密码过长");
  if (store_.accountByName(*normalised)) return refusal(path, "账号已存在");
  bool taken = false;
  const auto uid = store_.addAccount(*normalised, hashPassword(*password, options_.passwordIterations),
                                     options_.startingCoins, &taken);
  if (!uid) return refusal(path, taken ? "账号已存在" : "服务器内部错误");
  return {{"z", 1}, {"b", std::to_string(*uid)}, {"d", "注册成功"}};
}

Json SandboxApi::idCheck(const Json& r) {
  const char* path = "sdkmini/login/idcheck";
  const auto session = inSession(path, parseUid(text(r, "i")), textOr(r, "g"), "");
  const auto& account = session.account;
  if (!account) return refusal(path, session.refusal);
  const auto realName = text(r, "r");
  if (!realName || blank(*realName)) return refusal(path, "请输入真实姓名");
  if (realName->size() > kLongestName || hasControlCharacter(*realName)) return refusal(path, "姓名格式不正确");
  const auto number = text(r, "id");
  std::string why;
  const BirthDate today = dateInChina(clock_.nowSeconds());
  const auto birth = number ? parseIdCard(*number, today, &why) : std::nullopt;
  if (!birth) return refusal(path, number ? why : "请输入身份证号");
  if (account->realNameState != 0) return {{"z", 1}, {"nrz", account->realNameState}, {"msg", "已完成实名认证"}};
  const int state = ageOn(*birth, today) >= 18 ? 1 : 2;
  const int stored = store_.setRealName(account->uid, *realName, maskIdCard(*number), birthDateText(*birth), state);
  if (stored == 0) return refusal(path, "服务器内部错误");
  return {{"z", 1}, {"nrz", stored}, {"msg", "认证成功"}};
}

Json SandboxApi::channelRole(const Json& r) {
  const char* path = "sdkmini/User/setRole";
  const auto session = inSession(path, parseUid(text(r, "z")), textOr(r, "b"), "");
  const auto& account = session.account;
  if (!account) return refusal(path, session.refusal);
  RoleRecord role;
  role.uid = account->uid;
  role.gameId = textOr(r, "b");
  role.roleId = textOr(r, "c");
  role.roleName = textOr(r, "d");
  role.roleLevel = textOr(r, "e");
  role.serverId = textOr(r, "f");
  role.serverName = textOr(r, "x");
  if (role.roleId.empty()) return refusal(path, "缺少角色ID");
  if (!store_.upsertRole(role, "channel", clock_.nowSeconds())) return refusal(path, "服务器内部错误");
  return {{"z", 1}, {"msg", "上报成功"}};
}

Json SandboxApi::coinPay(const Json& r) {
  const char* path = "sdkmini/ttbpay/ttbnew";
  const std::string device = textOr(r, "c");
  const auto session = inSession(path, parseUid(text(r, "f")), textOr(r, "d"), device);
  const auto& account = session.account;
  if (!account) return refusal(path, session.refusal);
  const auto orderId = text(r, "y");
  if (!orderId || orderId->empty()) return refusal(path, "订单不存在");
  const auto amount = amountOf(r, "p");
  if (!amount.cents) return refusal(path, amountErrorMessage(amount.error));
  if (const auto order = store_.orderById(*orderId); order && order->state == "unpaid") {
    // Orders submitted before an earlier one was paid may together pass the month's cap.
    if (const auto why = spendingRefusal(*account, order->gameId, order->amount); !why.empty())
      return refusal(path, why);
  }
  Cents after = 0;
  const PayResult result = store_.payWithCoins(*orderId, account->uid, device, *amount.cents, &after);
  if (result == PayResult::NotYourOrder && options_.logRequests) {
    platform::log(std::string("[sandbox] ") + path + " refused: order " + *orderId + " was not submitted by account " +
                  std::to_string(account->uid) + " from this device");
  }
  switch (result) {
    case PayResult::Paid:
      if (paid_) paid_();
      return {{"z", 1}, {"c", "支付成功"}, {"ttb", centsNumber(after)}};
    case PayResult::UnknownOrder:
    case PayResult::NotYourOrder: return refusal(path, "订单不存在");
    case PayResult::AlreadyPaid: return refusal(path, "订单已支付");
    case PayResult::AmountMismatch: return refusal(path, "支付金额与订单金额不符");
    case PayResult::TooFewCoins: return refusal(path, "平台币余额不足");
    case PayResult::Failed: break;
  }
  return refusal(path, "服务器内部错误");
}

Json SandboxApi::weChatPay(const Json& r, const std::string& publicBase) {
  const char* path = "sdkmini/wxh5/h5pay";
  const std::string device = textOr(r, "c");
  const auto session = inSession(path, parseUid(text(r, "f")), textOr(r, "d"), device);
  const auto& account = session.account;
  if (!account) return refusal(path, session.refusal);
  const auto orderId = text(r, "y");
  const auto order = orderId ? store_.orderById(*orderId) : std::nullopt;
  if (!order || order->uid != account->uid || order->device != device) return refusal(path, "订单不存在");
  if (order->state != "unpaid") return refusal(path, "订单已支付");
  const auto amount = amountOf(r, "p");
  if (!amount.cents) return refusal(path, amountErrorMessage(amount.error));
  if (*amount.cents != order->amount) return refusal(path, "支付金额与订单金额不符");
  if (!options_.wechatEnabledFor(order->gameId)) return refusal(path, "该游戏未开通微信支付");
  if (const auto why = spendingRefusal(*account, order->gameId, order->amount); !why.empty()) return refusal(path, why);
  const std::string ticket = randomHex(16);
  if (!store_.addWeChatTicket(ticket, order->orderId, clock_.nowSeconds())) return refusal(path, "服务器内部错误");
  return {{"z", 1}, {"b", publicBase + "/wxh5/pay?ticket=" + ticket}};
}

Json SandboxApi::balance(const Json& r) {
  const auto game = text(r, "z");
  const std::string gameId = game ? *game : textOr(r, "b");
  const auto session = inSession("sdkmini/pay/getPayWay", parseUid(text(r, "zz")), gameId, "");
  const auto& account = session.account;
  if (!account) return refusal("sdkmini/pay/getPayWay", session.refusal);
  Json reply = {{"code", 1}, {"ttb", centsNumber(account->balance)}};
  if (options_.wechatEnabledFor(gameId)) reply["wx"] = 1;
  addPlayLeft(*account, reply);
  return reply;
}

Json SandboxApi::payQuery(const Json& r) {
  const char* path = "sdkmini/pay/query";
  const std::string device = textOr(r, "c");
  const auto session = inSession(path, parseUid(text(r, "f")), textOr(r, "d"), device, false);
  const auto& account = session.account;
  if (!account) return refusal(path, session.refusal);
  const auto orderId = text(r, "y");
  const auto order = orderId ? store_.orderById(*orderId) : std::nullopt;
  // Another account's or device's order is not there at all, as for payments.
  if (!order || order->uid != account->uid || order->device != device) return refusal(path, "订单不存在");
  return {{"z", 1}, {"state", order->state}};
}

void SandboxApi::addPlayLeft(const Account& account, Json& reply) {
  if (!options_.minorRules) return;
  const std::int64_t now = clock_.nowSeconds();
  const int age = ageOf(account, now);
  if (age < 0 || age >= minorRules().adultAge) return;
  const auto verdict = playVerdict(minorRules(), age, now, store_.isHoliday(chinaMoment(now).date));
  if (verdict.secondsLeft) reply["playleft"] = *verdict.secondsLeft;
  reply["servertime"] = now;
}

Json SandboxApi::signIn(const Json& r) {
  const char* path = "sdkstandard/login/index";
  const auto uid = parseUid(text(r, "username"));
  const auto account = uid ? store_.accountByUid(*uid) : std::nullopt;
  if (!account) return refusal(path, "用户不存在");
  const auto extras = text(r, "extrasparams");
  const Json login = extras ? Json::parse(*extras, nullptr, false) : Json();
  const auto sign = text(login, "sign");
  const auto name = text(login, "name");
  // Only the holder of the signature of this account's current channel login may
  // sign in as that account, and only from the device that logged in.
  if (!login.is_object() || !sign || account->loginSignHash.empty() ||
      !constantTimeEquals(credentialHash("sign", *sign), account->loginSignHash) ||
      (name && *name != std::to_string(account->uid))) {
    return refusal(path, "登录校验失败，请重新登录");
  }
  const std::string gameId = textOr(r, "gameid");
  const std::string device = textOr(r, "imeil");
  const auto session = inSession(path, account->uid, gameId, device, false);
  if (!session.account) return refusal(path, session.refusal);
  const std::int64_t now = clock_.nowSeconds();
  const int age = ageOf(*account, now);
  std::optional<std::int64_t> playLeft;
  if (options_.minorRules) {
    if (age < 0 && !options_.allowUnverified)
      return refusal(path, "根据国家规定，游戏用户需完成实名认证后才能进入游戏");
    if (age >= 0) {
      const auto verdict = playVerdict(minorRules(), age, now, store_.isHoliday(chinaMoment(now).date));
      if (!verdict.allowed) {
        if (options_.logRequests) {
          platform::log(std::string("[sandbox] ") + path + " refused: account " + std::to_string(account->uid) +
                        " is a minor outside the play-time window (" + chinaTimeText(now) + ")");
        }
        Json refused = refusal(path, playTimeMessage(minorRules()));
        refused["limit"] = "playtime";
        refused["servertime"] = now;
        return refused;
      }
      playLeft = verdict.secondsLeft;
    }
  }
  const std::string token = randomHex(16);
  if (!store_.recordSignIn(account->uid, credentialHash("token", token), now, gameId, device,
                           now + options_.sessionSeconds)) {
    return refusal(path, "服务器内部错误");
  }
  Json data = {{"username", aggregationName(account->uid)}, {"token", token}, {"logintime", std::to_string(now)}};
  if (age >= 0) data["age"] = age;
  if (playLeft) {
    data["playleft"] = *playLeft;
    data["servertime"] = now;
  }
  return {{"a", 1}, {"b", "登录成功"}, {"c", data}};
}

Json SandboxApi::aggregationRole(const Json& r) {
  const char* path = "sdkstandard/role/index";
  const auto name = text(r, "username");
  const auto session =
      inSession(path, name ? uidOfAggregationName(*name) : std::nullopt, textOr(r, "gameid"), textOr(r, "imeil"));
  const auto& account = session.account;
  if (!account) return refusal(path, session.refusal);
  RoleRecord role;
  role.uid = account->uid;
  role.gameId = textOr(r, "gameid");
  role.roleId = textOr(r, "roleid");
  role.serverId = textOr(r, "serverid");
  role.serverName = textOr(r, "servername");
  role.roleName = textOr(r, "rolename");
  role.roleLevel = textOr(r, "rolelevel");
  role.vipLevel = textOr(r, "viplevel");
  role.partyName = textOr(r, "partyname");
  if (role.roleId.empty()) return refusal(path, "缺少角色ID");
  if (!store_.upsertRole(role, "aggregation", clock_.nowSeconds())) return refusal(path, "服务器内部错误");
  return {{"a", 1}, {"b", "上报成功"}};
}

Json SandboxApi::submitOrder(const Json& r) {
  const char* path = "sdkstandard/pay/index";
  const auto name = text(r, "username");
  const std::string device = textOr(r, "imeil");
  const auto session = inSession(path, name ? uidOfAggregationName(*name) : std::nullopt, textOr(r, "gameid"), device);
  const auto& account = session.account;
  if (!account) return refusal(path, session.refusal);
  const auto amount = amountOf(r, "amount");
  if (!amount.cents) return refusal(path, amountErrorMessage(amount.error));
  const auto cpOrderId = text(r, "cporderid");
  if (!cpOrderId || blank(*cpOrderId) || cpOrderId->size() > kLongestField) return refusal(path, "缺少游戏订单号");
  if (const auto why = spendingRefusal(*account, textOr(r, "gameid"), *amount.cents); !why.empty()) {
    if (options_.logRequests) {
      platform::log(std::string("[sandbox] ") + path + " refused: over a minor's spending cap: " + why);
    }
    Json refused = refusal(path, why);
    refused["limit"] = "spending";
    return refused;
  }
  Order order;
  order.uid = account->uid;
  order.gameId = textOr(r, "gameid");
  order.device = device;
  order.cpOrderId = *cpOrderId;
  order.amount = *amount.cents;
  order.count = textOr(r, "count");
  order.goodsName = textOr(r, "goodsname");
  order.roleId = textOr(r, "roleid");
  order.serverId = textOr(r, "serverid");
  OrderResult result = OrderResult::Failed;
  const auto stored = store_.createOrder(order, &result);
  if (result == OrderResult::Conflict) return refusal(path, "游戏订单号已被使用");
  if (!stored) return refusal(path, "服务器内部错误");
  return {{"a", 1}, {"b", "下单成功"}, {"c", {{"orderid", stored->orderId}}}};
}

Json SandboxApi::logout(const Json& r) {
  // The client does not read this reply; a logout with nobody signed in (no
  // user name) is refused only for the log's sake.
  const char* path = "sdkstandard/login/logout";
  const auto name = text(r, "username");
  const std::string gameId = textOr(r, "gameid");
  const auto session = inSession(path, name ? uidOfAggregationName(*name) : std::nullopt, gameId, "", false);
  const auto& account = session.account;
  if (!account) return refusal(path, session.refusal);
  if (store_.recordLogout(account->uid, gameId, clock_.nowSeconds()) == 0) return refusal(path, "服务器内部错误");
  return {{"a", 1}, {"b", "已退出"}};
}

}  // namespace tolba::sandbox
