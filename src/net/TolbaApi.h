#pragma once
// Request builders of the aggregation server ("sdkstandard/...") and of the
// channel account server ("sdkmini/...").

#include <functional>
#include <memory>
#include <optional>

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
  // "sdkstandard/login/logout".
  static void gameLogoutBlock(TolbaServerBlock block);
  static void gameLogin(const nlohmann::json& username, const std::optional<nlohmann::json>& extDic,
                        TolbaServerBlock block);
  static void updateRoleInfo(const std::shared_ptr<TolbaSDKGameRoleInfo>& role, TolbaServerBlock block);
  static void payOrderInfo(const std::shared_ptr<TolbaSDKPayOrderInfo>& order,
                           const std::shared_ptr<TolbaSDKGameRoleInfo>& role, TolbaServerBlock block);
  static void channelUpdateRoleInfo(const std::shared_ptr<TolbaSDKGameRoleInfo>& role, TolbaServerBlock block);
};

}  // namespace tolba
