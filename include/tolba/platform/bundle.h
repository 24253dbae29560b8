#pragma once
// The application bundle: its directory of resources and its information
// dictionary ("Info.plist").

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace tolba::platform {

class Bundle {
 public:
  explicit Bundle(std::string directory) : directory_(std::move(directory)) {}
  // The bundle at bundleDirectory() (see app_environment.h).
  static Bundle main();

  // Path of a resource given by its full file name, or nullopt when there is none.
  std::optional<std::string> pathForResource(const std::string& name) const;
  // "Info.plist" as a JSON object; an empty object when missing or unreadable.
  nlohmann::json infoDictionary() const;
  // Looks up a localised text; this platform ships no translations, so the key
  // (or `value` when the key is empty) comes back.
  std::string localizedString(const std::string& key, const std::string& value) const;
  const std::string& directory() const { return directory_; }

 private:
  std::string directory_;
};

}  // namespace tolba::platform
