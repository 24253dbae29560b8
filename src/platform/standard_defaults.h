#pragma once
// Internal hook between the application environment and the standard defaults.

namespace tolba::platform::detail {

// Drops the standard defaults object (after its pending writes) so that the next
// UserDefaults::standard() opens the file in the current data directory.
void resetStandardDefaults();

}  // namespace tolba::platform::detail
