#pragma once
// Marketing names of the phone platform's machine identifiers ("iPhone10,3" ->
// "iPhoneX").

#include <string_view>

namespace tolba {

// The name for `machine`, or nullptr when the table has no row for it. Exact,
// case-sensitive comparison.
const char* phoneModelName(std::string_view machine);

}  // namespace tolba
