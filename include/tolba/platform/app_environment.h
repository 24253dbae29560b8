#pragma once
// Where the application's files live: its bundle directory (read-only resources
// such as Tolba.plist) and its data directory (user defaults). A host sets these
// once at start-up; otherwise the bundle is the executable's directory and data
// goes to $XDG_DATA_HOME/tolba/<executable name> (~/.local/share/... by default).

#include <string>

namespace tolba::platform {

std::string bundleDirectory();
void setBundleDirectory(std::string dir);

std::string dataDirectory();
// Changing the data directory points the standard user defaults at the new place
// (pending writes to the old one finish first).
void setDataDirectory(std::string dir);

// Name of the running executable (for the default data directory and vendor id).
std::string executableName();

// An extra CA bundle file trusted for HTTPS besides the system's (for private test
// servers). Empty means none.
std::string extraCaFile();
void setExtraCaFile(std::string path);

}  // namespace tolba::platform
