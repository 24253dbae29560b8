#include "tolba/platform/bundle.h"

#include <filesystem>

#include "tolba/platform/app_environment.h"
#include "tolba/platform/property_list.h"

namespace tolba::platform {

Bundle Bundle::main() { return Bundle(bundleDirectory()); }

std::optional<std::string> Bundle::pathForResource(const std::string& name) const {
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return std::nullopt;
  const auto path = std::filesystem::path(directory_) / name;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) || std::filesystem::is_directory(path, ec)) return std::nullopt;
  return path.string();
}

nlohmann::json Bundle::infoDictionary() const {
  const auto path = pathForResource("Info.plist");
  if (!path) return nlohmann::json::object();
  auto info = readPropertyList(*path);
  if (!info || !info->is_object()) return nlohmann::json::object();
  return *info;
}

std::string Bundle::localizedString(const std::string& key, const std::string& value) const {
  return key.empty() ? value : key;
}

}  // namespace tolba::platform
