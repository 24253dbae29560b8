#pragma once
// Request builders of the aggregation server ("sdkstandard/...") and of the
// channel account server ("sdkmini/..."). Each operation builds its request
// dictionary from its arguments and the configuration, hands it to the
// transport (TolbaNetTool) and passes the reply on to `block` unchanged (and a
// transport failure to the optional `failure`). Nothing
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

// A request that failed in transport (no connection, time-out, TLS failure, a
// reply over the size bound, a connection closed mid-reply); `why` names the
// cause. Optional: a caller that gives none hears nothing of such a failure.
// Called at most once, on the main run loop, and only when the server block is
// not.
using TolbaFailureBlock = std::function<void(const std::string& why)>;

class TolbaApi {
 public:
  using Json = nlohmann::json;
  using Role = std::shared_ptr<TolbaSDKGameRoleInfo>;
  using Order = std::shared_ptr<TolbaSDKPayOrderInfo>;
  using Text = std::optional<std::string>;

  // --- aggregation server; `username` is the signed-in user's name in the JSON
  // type the sign-in reply gave it (null leaves the key out).

  // "sdkstandard/login/logout": username, gameid, channelname.
  static void gameLogoutBlock(const Json& username, TolbaServerBlock block, TolbaFailureBlock failure = {});
  // "sdkstandard/login/index". `username` is sent in its own JSON type (null
  // leaves it out); `extDic` goes as a JSON text of strings (dicToJson). Logs
  // "参数 = ..." with the request dictionary.
  static void gameLogin(const Json& username, const std::optional<Json>& extDic, TolbaServerBlock block,
                        TolbaFailureBlock failure = {});
  // "sdkstandard/role/index".
  static void updateRoleInfo(const Json& username, const Role& role, TolbaServerBlock block,
                             TolbaFailureBlock failure = {});
  // "sdkstandard/pay/index".
  static void payOrderInfo(const Json& username, const Order& order, const Role& role, TolbaServerBlock block,
                           TolbaFailureBlock failure = {});

  // --- channel account server (the two misspelled names are the published ones).

  // "sdkmini/login/dologin".
  static void chanelLogin(const Text& name, const Text& pwd, TolbaServerBlock block, TolbaFailureBlock failure = {});
  // "sdkmini/login/register".
  static void channelRegiser(const Text& name, const Text& pwd, TolbaServerBlock block, TolbaFailureBlock failure = {});
  // "sdkmini/login/idcheck".
  static void channelReal(const Text& name, const Text& idCard, TolbaServerBlock block, TolbaFailureBlock failure = {});
  // "sdkmini/User/setRole".
  static void channelUpdateRoleInfo(const Role& role, TolbaServerBlock block, TolbaFailureBlock failure = {});
  // "sdkmini/ttbpay/ttbnew": pay with platform coin.
  static void channelPayOrderInfo(const Order& order, const Role& role, const Text& myOrderId, TolbaServerBlock block,
                                  TolbaFailureBlock failure = {});
  // "sdkmini/wxh5/h5pay": pay by WeChat H5 (the amount goes as a JSON number).
  static void channelWxPayWithPayOrderInfo(const Order& order, const Role& role, const Text& myOrderId,
                                           TolbaServerBlock block, TolbaFailureBlock failure = {});
  // "sdkmini/pay/query": whether the order `myOrderId` was paid, asked with the
  // user and device keys of a payment ({"z": 1, "state": "paid" | "unpaid"}).
  static void channelQueryOrder(const Text& myOrderId, TolbaServerBlock block, TolbaFailureBlock failure = {});
  // "sdkmini/pay/getPayWay": the platform-coin balance.
  static void channelCheckMoneyBlock(TolbaServerBlock block, TolbaFailureBlock failure = {});
};

}  // namespace tolba
