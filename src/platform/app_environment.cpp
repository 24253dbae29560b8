#include "tolba/platform/app_environment.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "platform/standard_defaults.h"

namespace tolba::platform {
namespace {

struct Environment {
  std::mutex mutex;
  std::string bundleDir;
  std::string dataDir;
  std::string caFile;
};

Environment& env() {
  static Environment* e = new Environment();
  return *e;
}

std::string executablePath() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

}  // namespace

std::string executableName() {
  const auto path = executablePath();
  if (path.empty()) return "tolba-app";
  return std::filesystem::path(path).filename().string();
}

std::string bundleDirectory() {
  std::lock_guard lock(env().mutex);
  if (!env().bundleDir.empty()) return env().bundleDir;
  const auto path = executablePath();
  return path.empty() ? std::string(".") : std::filesystem::path(path).parent_path().string();
}

void setBundleDirectory(std::string dir) {
  std::lock_guard lock(env().mutex);
  env().bundleDir = std::move(dir);
}

std::string dataDirectory() {
  std::lock_guard lock(env().mutex);
  if (!env().dataDir.empty()) return env().dataDir;
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".local" / "share";
  } else {
    base = std::filesystem::temp_directory_path();
  }
  return (base / "tolba" / executableName()).string();
}

void setDataDirectory(std::string dir) {
  {
    std::lock_guard lock(env().mutex);
    env().dataDir = std::move(dir);
  }
  detail::resetStandardDefaults();
}

std::string extraCaFile() {
  std::lock_guard lock(env().mutex);
  return env().caFile;
}

void setExtraCaFile(std::string path) {
  std::lock_guard lock(env().mutex);
  env().caFile = std::move(path);
}

}  // namespace tolba::platform
