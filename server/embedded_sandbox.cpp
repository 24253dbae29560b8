#include "embedded_sandbox.h"

#include <fstream>

#include "tolba/platform/app_environment.h"
#include "tolba/platform/property_list.h"

namespace tolba::sandbox {

SandboxOptions embeddedOptions(const std::filesystem::path& folder) {
  SandboxOptions options;
  options.dbPath = (folder / "sandbox.db").string();
  options.logRequests = false;
  options.passwordIterations = 1000;  // a test account; registering stays quick
  options.keepAliveSeconds = 1;       // stopping waits for idle connections
  return options;
}

std::unique_ptr<SandboxServer> startEmbedded(const SandboxOptions& options, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(options.dbPath).parent_path(), ec);
  auto server = std::make_unique<SandboxServer>(options);
  if (!server->start(error)) return nullptr;
  return server;
}

void prepareGameFolder(const std::filesystem::path& folder, const std::string& gameId, const std::string& baseUrl) {
  std::filesystem::create_directories(folder / "bundle");
  std::filesystem::create_directories(folder / "data");
  {
    std::ofstream plist(folder / "bundle" / "Tolba.plist");
    plist << platform::writeXmlPropertyList(
        {{"gameid", gameId}, {"channel", "cps001"}, {"url", baseUrl}, {"islandscape", "0"}});
  }
  platform::setBundleDirectory((folder / "bundle").string());
  platform::setDataDirectory((folder / "data").string());
}

}  // namespace tolba::sandbox
