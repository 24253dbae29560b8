#pragma once
// Persistent key/value settings of the application (JSON values by key).
//
// Reads and writes work on memory and are seen at once by every thread. Storage
// is a JSON file in the data directory, replaced atomically (temporary file,
// fsync, rename) on a background serial queue, so the main thread never waits on
// disk. A file that cannot be read or parsed is logged, renamed aside and the
// settings start empty.

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tolba/platform/serial_queue.h"

namespace tolba::platform {

class UserDefaults {
 public:
  // Settings stored in `path`, loaded now.
  explicit UserDefaults(std::string path);
  // Waits for pending writes to reach the disk.
  ~UserDefaults();
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  // The application's standard settings, in "<dataDirectory>/UserDefaults.json".
  static std::shared_ptr<UserDefaults> standard();
  // Waits for the standard settings' pending writes and lets go of them, so that
  // nothing is written at exit (call it before removing the data directory). A
  // later standard() opens the file again.
  static void closeStandard();

  std::optional<nlohmann::json> objectForKey(const std::string& key) const;
  void setObject(const std::string& key, nlohmann::json value);
  void removeObject(const std::string& key);
  // Schedules a write of the current settings. Returns at once.
  bool synchronize();
  // Blocks until every scheduled write has finished (shutdown, tests).
  void flush();

  const std::string& path() const { return path_; }
  nlohmann::json snapshot() const;

 private:
  void load();
  void writeNow(const std::string& text, std::uint64_t generation);
  std::string path_;
  mutable std::mutex mutex_;
  nlohmann::json values_ = nlohmann::json::object();
  std::uint64_t generation_ = 0;
  std::uint64_t written_ = 0;
  SerialQueue writer_{"tolba.userdefaults"};
};

}  // namespace tolba::platform
