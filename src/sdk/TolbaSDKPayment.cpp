// Role report and payment flow of the facade.
#include "tolba/TolbaSDK.h"

namespace tolba {

void TolbaSDK::updateRoleInfoWith(std::shared_ptr<TolbaSDKGameRoleInfo> role, bool isCreate) {
  (void)role;
  (void)isCreate;
}

std::int32_t TolbaSDK::payOrderInfo(std::shared_ptr<TolbaSDKPayOrderInfo> order,
                                    std::shared_ptr<TolbaSDKGameRoleInfo> role) {
  if (!SDKIsInit_) return -20;
  if (username_.is_null()) return -301;
  orderInfo_ = std::move(order);
  roleInfo_ = std::move(role);
  return 0;
}

}  // namespace tolba
