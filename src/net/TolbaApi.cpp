#include "net/TolbaApi.h"

namespace tolba {

void TolbaApi::gameLogoutBlock(TolbaServerBlock block) {
  // The transport is not wired yet: behaves like a request that never completes.
  (void)block;
}

void TolbaApi::gameLogin(const nlohmann::json&, const std::optional<nlohmann::json>&, TolbaServerBlock) {}
void TolbaApi::updateRoleInfo(const std::shared_ptr<TolbaSDKGameRoleInfo>&, TolbaServerBlock) {}
void TolbaApi::payOrderInfo(const std::shared_ptr<TolbaSDKPayOrderInfo>&, const std::shared_ptr<TolbaSDKGameRoleInfo>&,
                            TolbaServerBlock) {}
void TolbaApi::channelUpdateRoleInfo(const std::shared_ptr<TolbaSDKGameRoleInfo>&, TolbaServerBlock) {}

}  // namespace tolba
