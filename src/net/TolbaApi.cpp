#include "net/TolbaApi.h"

#include <string>
#include <utility>

#include "model/TolbaSDKGameConfig.h"
#include "net/TolbaDataFunc.h"
#include "net/TolbaNetTool.h"
#include "net/log_masking.h"
#include "tolba/TolbaSDKGameRoleInfo.h"
#include "tolba/TolbaSDKPayOrderInfo.h"
#include "tolba/platform/log.h"
#include "tolba/platform/value.h"

namespace tolba {
namespace {

using Json = nlohmann::json;
using Text = std::optional<std::string>;

// Sets `key` unless the source is nil.
void put(Json& request, const char* key, const Json& value) {
  if (!value.is_null()) request[key] = value;
}
void put(Json& request, const char* key, const Text& value) {
  if (value) request[key] = *value;
}

// A field of a record that may be missing altogether: a missing record reads as
// all fields nil.
template <typename Record>
Text field(const std::shared_ptr<Record>& record, const Text& (Record::*getter)() const) {
  if (!record) return std::nullopt;
  return (record.get()->*getter)();
}

Json gameId() { return TolbaSDKGameConfig::getGameId(); }
Json channel() { return TolbaSDKGameConfig::getChannel(); }
std::string deviceId() { return TolbaSDKGameConfig::getUUID(); }
std::string sdkUid() { return TolbaSDKGameConfig::getSdkUid(); }

// Hands the request to the transport; the reply reaches `block` as it came, a
// transport failure reaches `failure` (when given).
void send(const char* path, const Json& request, TolbaServerBlock block, TolbaFailureBlock failure) {
  TolbaNetTool::netPostWithUrl(
      path, request,
      [block = std::move(block)](const std::optional<Json>& result, const Json& error) {
        if (block) block(result, error);
      },
      std::move(failure));
}

using Role = TolbaSDKGameRoleInfo;
using Order = TolbaSDKPayOrderInfo;

// The fields shared by the two channel payment requests, with the amount in the
// form each one sends.
Json channelPayment(const char* payType, const Json& amount, const TolbaApi::Order& order, const TolbaApi::Role& role,
                    const Text& myOrderId) {
  Json request = Json::object();
  request["z"] = payType;
  put(request, "p", amount);
  put(request, "b", amount);
  request["xx"] = "1";
  request["c"] = deviceId();
  put(request, "d", gameId());
  put(request, "e", channel());
  request["f"] = sdkUid();
  put(request, "x", field(role, &Role::gameRoleID));
  put(request, "y", myOrderId);
  put(request, "j", gameId());
  put(request, "k", field(order, &Order::productName));
  put(request, "h", field(role, &Role::serverId));
  put(request, "l", field(order, &Order::productDesc));
  request["os"] = "ios";
  return request;
}

float amountOf(const TolbaApi::Order& order) { return order ? order->amount() : 0.0f; }

Json channelAccount(const Text& name, const Text& pwd) {
  Json request = Json::object();
  put(request, "z", name);
  put(request, "b", pwd);
  request["c"] = "3";
  put(request, "d", gameId());
  request["e"] = deviceId();
  put(request, "f", channel());
  put(request, "x", gameId());
  return request;
}

}  // namespace

void TolbaApi::gameLogoutBlock(const Json& username, TolbaServerBlock block, TolbaFailureBlock failure) {
  Json request = Json::object();
  put(request, "username", username);
  put(request, "gameid", gameId());
  put(request, "channelname", channel());
  send("sdkstandard/login/logout", request, std::move(block), std::move(failure));
}

void TolbaApi::gameLogin(const Json& username, const std::optional<Json>& extDic, TolbaServerBlock block,
                         TolbaFailureBlock failure) {
  Json request = Json::object();
  put(request, "username", username);
  request["imeil"] = deviceId();
  put(request, "gameid", gameId());
  put(request, "extrasparams", TolbaDataFunc::dicToJson(extDic));
  request["age"] = "";
  put(request, "channelname", channel());
  request["os"] = "ios";
  // The login signature inside "extrasparams" is masked in the log line.
  platform::logLazily(
      [&] { return "参数 = " + platform::describe(maskedRequest("sdkstandard/login/index", request)); });
  send("sdkstandard/login/index", request, std::move(block), std::move(failure));
}

void TolbaApi::updateRoleInfo(const Json& username, const Role& role, TolbaServerBlock block,
                              TolbaFailureBlock failure) {
  using R = TolbaSDKGameRoleInfo;
  Json request = Json::object();
  put(request, "username", username);
  put(request, "gameid", gameId());
  put(request, "channelname", channel());
  put(request, "roleid", field(role, &R::gameRoleID));
  put(request, "serverid", field(role, &R::serverId));
  put(request, "servername", field(role, &R::serverName));
  put(request, "rolename", field(role, &R::gameRoleName));
  put(request, "rolelevel", field(role, &R::gameUserLevel));
  put(request, "viplevel", field(role, &R::vipLevel));
  put(request, "partyid", field(role, &R::partyId));
  put(request, "sign", field(role, &R::sign));
  put(request, "partyname", field(role, &R::partyName));
  put(request, "rolegender", field(role, &R::gameRoleGender));
  put(request, "rolebalance", field(role, &R::gameUserBalance));
  put(request, "rolepower", field(role, &R::fightPower));
  put(request, "professionid", field(role, &R::professionId));
  put(request, "profession", field(role, &R::profession));
  put(request, "friendlist", field(role, &R::friendlist));
  put(request, "partyroleid", field(role, &R::partyRoleId));
  put(request, "partyrolename", field(role, &R::partyRoleName));
  put(request, "rolecdt", field(role, &R::creatTime));
  request["imeil"] = deviceId();
  send("sdkstandard/role/index", request, std::move(block), std::move(failure));
}

void TolbaApi::payOrderInfo(const Json& username, const Order& order, const Role& role, TolbaServerBlock block,
                            TolbaFailureBlock failure) {
  using R = TolbaSDKGameRoleInfo;
  using O = TolbaSDKPayOrderInfo;
  Json request = Json::object();
  put(request, "roleid", field(role, &R::gameRoleID));
  put(request, "serverid", field(role, &R::serverId));
  put(request, "servername", field(role, &R::serverName));
  put(request, "rolename", field(role, &R::gameRoleName));
  put(request, "rolelevel", field(role, &R::gameUserLevel));
  put(request, "viplevel", field(role, &R::vipLevel));
  put(request, "partyname", field(role, &R::partyName));
  put(request, "cporderid", field(order, &O::cpOrderID));
  request["amount"] = platform::floatText(amountOf(order));
  request["count"] = std::to_string(order ? order->count() : 0);
  put(request, "sign", field(order, &O::sign));
  request["imeil"] = deviceId();
  put(request, "rolebalance", field(role, &R::gameUserBalance));
  put(request, "extrasparams", field(order, &O::extrasParams));
  put(request, "goodsid", field(order, &O::goodsID));
  put(request, "goodsname", field(order, &O::productName));
  request["os"] = "ios";
  put(request, "username", username);
  put(request, "gameid", gameId());
  put(request, "channelname", channel());
  send("sdkstandard/pay/index", request, std::move(block), std::move(failure));
}

void TolbaApi::chanelLogin(const Text& name, const Text& pwd, TolbaServerBlock block, TolbaFailureBlock failure) {
  send("sdkmini/login/dologin", channelAccount(name, pwd), std::move(block), std::move(failure));
}

void TolbaApi::channelRegiser(const Text& name, const Text& pwd, TolbaServerBlock block, TolbaFailureBlock failure) {
  send("sdkmini/login/register", channelAccount(name, pwd), std::move(block), std::move(failure));
}

void TolbaApi::channelReal(const Text& name, const Text& idCard, TolbaServerBlock block, TolbaFailureBlock failure) {
  Json request = Json::object();
  request["i"] = sdkUid();
  put(request, "g", gameId());
  put(request, "id", idCard);
  put(request, "r", name);
  send("sdkmini/login/idcheck", request, std::move(block), std::move(failure));
}

void TolbaApi::channelUpdateRoleInfo(const Role& role, TolbaServerBlock block, TolbaFailureBlock failure) {
  using R = TolbaSDKGameRoleInfo;
  Json request = Json::object();
  request["z"] = sdkUid();
  put(request, "b", gameId());
  put(request, "c", field(role, &R::gameRoleID));
  put(request, "d", field(role, &R::gameRoleName));
  put(request, "e", field(role, &R::gameUserLevel));
  put(request, "f", field(role, &R::serverId));
  put(request, "x", field(role, &R::serverName));
  request["h"] = "扩展参数";
  put(request, "i", gameId());
  send("sdkmini/User/setRole", request, std::move(block), std::move(failure));
}

void TolbaApi::channelPayOrderInfo(const Order& order, const Role& role, const Text& myOrderId, TolbaServerBlock block,
                                   TolbaFailureBlock failure) {
  const Json amount = platform::floatText(amountOf(order));
  send("sdkmini/ttbpay/ttbnew", channelPayment("MLb", amount, order, role, myOrderId), std::move(block),
       std::move(failure));
}

void TolbaApi::channelWxPayWithPayOrderInfo(const Order& order, const Role& role, const Text& myOrderId,
                                            TolbaServerBlock block, TolbaFailureBlock failure) {
  const Json amount = platform::floatNumber(amountOf(order));
  send("sdkmini/wxh5/h5pay", channelPayment("wx", amount, order, role, myOrderId), std::move(block),
       std::move(failure));
}

void TolbaApi::channelQueryOrder(const Text& myOrderId, TolbaServerBlock block, TolbaFailureBlock failure) {
  Json request = Json::object();
  request["c"] = deviceId();
  put(request, "d", gameId());
  put(request, "e", channel());
  request["f"] = sdkUid();
  put(request, "y", myOrderId);
  request["os"] = "ios";
  send("sdkmini/pay/query", request, std::move(block), std::move(failure));
}

void TolbaApi::channelCheckMoneyBlock(TolbaServerBlock block, TolbaFailureBlock failure) {
  Json request = Json::object();
  request["zz"] = sdkUid();
  put(request, "z", gameId());
  put(request, "b", gameId());
  put(request, "bb", channel());
  send("sdkmini/pay/getPayWay", request, std::move(block), std::move(failure));
}

}  // namespace tolba
