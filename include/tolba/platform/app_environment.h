#pragma once
// Where the application's files live: its bundle directory (read-only resources
// such as Tolba.plist) and its data directory (user defaults). A host sets these
// once at start-up; otherwise the bundle is the executable's directory and data
// goes to $XDG_DATA_HOME/tolba/<executable name> (~/.local/share/... by default).

#include <string>

#include "tolba/export.h"

namespace tolba::platform {

TOLBA_API std::string bundleDirectory();
TOLBA_API void setBundleDirectory(std::string dir);

TOLBA_API std::string dataDirectory();
// Changing the data directory points the standard user defaults at the new place
// (pending writes to the old one finish first).
TOLBA_API void setDataDirectory(std::string dir);

// Name of the running executable (for the default data directory and vendor id).
TOLBA_API std::string executableName();

// An extra CA bundle file trusted for HTTPS besides the system's (for private test
// servers). Empty means none.
TOLBA_API std::string extraCaFile();
TOLBA_API void setExtraCaFile(std::string path);

}  // namespace tolba::platform
