#pragma once
// Request builders of the aggregation server ("sdkstandard/...") and of the
// channel account server ("sdkmini/...").

#include <functional>
#include <optional>

#include <nlohmann/json.hpp>

namespace tolba {

// A server reply: the decoded result (nullopt when it could not be read) and an
// error that is always null. Called at most once, on the main run loop; not at
// all when the request fails in transport.
using TolbaServerBlock = std::function<void(const std::optional<nlohmann::json>& result, const nlohmann::json& error)>;

class TolbaApi {
 public:
  // "sdkstandard/login/logout".
  static void gameLogoutBlock(TolbaServerBlock block);
};

}  // namespace tolba
