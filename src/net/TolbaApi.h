#pragma once
// Request builders of the aggregation server ("sdkstandard/...") and of the
// channel account server ("sdkmini/..."). Each operation builds its request
// dictionary from its arguments and the configuration, hands it to the
// transport (TolbaNetTool) and passes the reply on to `block` unchanged. Nothing
// is validated: a nil source (nullopt, a null JSON value, a missing record)
// leaves its key out and the request is still sent.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tolba/TolbaSDKGameRoleInfo.h"
#include "tolba/TolbaSDKPayOrderInfo.h"

namespace tolba {

// A server reply: the decoded result (nullopt when it could not be read) and an
// error that is always null. Called at most once, on the main run loop; not at
// all when the request fails in transport.
using TolbaServerBlock = std::function<void(const std::optional<nlohmann::json>& result, const nlohmann::json& error)>;

class TolbaApi {
 public:
  using Json = nlohmann::json;
  using Role = std::shared_ptr<TolbaSDKGameRoleInfo>;
  using Order = std::shared_ptr<TolbaSDKPayOrderInfo>;
  using Text = std::optional<std::string>;

  // --- aggregation server; the signed-in user name is the facade's, in the JSON
  // type the sign-in reply gave it.

  // "sdkstandard/login/logout": username, gameid, channelname.
  static void gameLogoutBlock(TolbaServerBlock block);
  // "sdkstandard/login/index". `username` is sent in its own JSON type (null
  // leaves it out); `extDic` goes as a JSON text of strings (dicToJson). Logs
  // "参数 = ..." with the request dictionary.
  static void gameLogin(const Json& username, const std::optional<Json>& extDic, TolbaServerBlock block);
  // "sdkstandard/role/index".
  static void updateRoleInfo(const Role& role, TolbaServerBlock block);
  // "sdkstandard/pay/index".
  static void payOrderInfo(const Order& order, const Role& role, TolbaServerBlock block);

  // --- channel account server (the two misspelled names are the published ones).

  // "sdkmini/login/dologin".
  static void chanelLogin(const Text& name, const Text& pwd, TolbaServerBlock block);
  // "sdkmini/login/register".
  static void channelRegiser(const Text& name, const Text& pwd, TolbaServerBlock block);
  // "sdkmini/login/idcheck".
  static void channelReal(const Text& name, const Text& idCard, TolbaServerBlock block);
  // "sdkmini/User/setRole".
  static void channelUpdateRoleInfo(const Role& role, TolbaServerBlock block);
  // "sdkmini/ttbpay/ttbnew": pay with platform coin.
  static void channelPayOrderInfo(const Order& order, const Role& role, const Text& myOrderId, TolbaServerBlock block);
  // "sdkmini/wxh5/h5pay": pay by WeChat H5 (the amount goes as a JSON number).
  static void channelWxPayWithPayOrderInfo(const Order& order, const Role& role, const Text& myOrderId,
                                           TolbaServerBlock block);
  // "sdkmini/pay/getPayWay": the platform-coin balance.
  static void channelCheckMoneyBlock(TolbaServerBlock block);
};

}  // namespace tolba
