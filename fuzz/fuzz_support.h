#pragma once
// What the fuzz targets share: quiet logs, a private scratch folder, and a check
// that aborts (a finding) when a property does not hold.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tolba/platform/log.h"

namespace tolba::fuzz {

inline void check(bool condition) {
  if (!condition) std::abort();
}

// Log lines go nowhere: a fuzzer runs millions of inputs.
inline void silenceLog() {
  static const bool once = [] {
    tolba::platform::setLogSink([](const std::string&) {});
    return true;
  }();
  (void)once;
}

// A folder of this process, removed at exit.
inline const std::filesystem::path& scratchFolder() {
  static const std::filesystem::path folder = [] {
    auto path = std::filesystem::temp_directory_path() / ("tolba-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(scratchFolder(), ec);
    });
    return path;
  }();
  return folder;
}

}  // namespace tolba::fuzz
