#pragma once
// Internal hooks of the settings: between the application environment and the
// standard defaults, and for tests.

namespace tolba::platform::detail {

// Drops the standard defaults object (after its pending writes) so that the next
// UserDefaults::standard() opens the file in the current data directory.
void resetStandardDefaults();

// Replaces fsync for the settings writer (nullptr restores it), so that tests
// can make it fail.
void setFileSyncForTesting(int (*sync)(int));

}  // namespace tolba::platform::detail
