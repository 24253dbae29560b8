#pragma once
// Pictures of the demo's screen: a plain stand-in game scene with the SDK's layer
// drawn over it, as a game does each frame, written as PNG files named by step.

#include <filesystem>
#include <string>

namespace tolba::demo {

class Snapshots {
 public:
  explicit Snapshots(std::filesystem::path folder);
  // Writes <folder>/<name>.png of the screen as it is now; false (with the
  // reason in `error`) when it could not.
  bool shoot(const std::string& name, std::string* error);
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
};

}  // namespace tolba::demo
