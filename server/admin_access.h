#pragma once
// Who may use the admin endpoints (fault injection, ...): clients on loopback,
// and others that send the admin token given at start as
// "Authorization: Bearer TOKEN". Without a token, loopback only.

#include <string>
#include <string_view>

namespace tolba::sandbox {

bool isLoopbackAddress(std::string_view address);

bool adminAllowed(std::string_view remoteAddress, std::string_view authorization, const std::string& adminToken);

}  // namespace tolba::sandbox
