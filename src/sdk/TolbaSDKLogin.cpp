// Login, sign-in and real-name flow of the facade.
#include "tolba/TolbaSDK.h"

namespace tolba {

std::int32_t TolbaSDK::login() {
  if (!SDKIsInit_) return -20;
  // The login panel arrives with the user-interface layer.
  return 0;
}

std::int32_t TolbaSDK::logout() {
  if (!SDKIsInit_) return -20;
  if (username_.is_null()) return -301;
  realNameInfo_.reset();
  sendTolbaLogoutNoti({{kTolbaSDKKeyError, 0}});
  return 0;
}

}  // namespace tolba
