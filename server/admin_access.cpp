#include "admin_access.h"

#include "crypto.h"

namespace tolba::sandbox {

bool isLoopbackAddress(std::string_view address) {
  return address.rfind("127.", 0) == 0 || address == "::1" || address.rfind("::ffff:127.", 0) == 0;
}

bool adminAllowed(std::string_view remoteAddress, std::string_view authorization, const std::string& adminToken) {
  if (isLoopbackAddress(remoteAddress)) return true;
  constexpr std::string_view kBearer = "Bearer ";
  if (adminToken.empty() || authorization.substr(0, kBearer.size()) != kBearer) return false;
  return constantTimeEquals(authorization.substr(kBearer.size()), adminToken);
}

}  // namespace tolba::sandbox
