#include "tolba/platform/user_defaults.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/standard_defaults.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/log.h"

namespace tolba::platform {
namespace fs = std::filesystem;

namespace {

struct StandardHolder {
  std::mutex mutex;
  std::shared_ptr<UserDefaults> defaults;
};

StandardHolder& holder() {
  static auto* h = new StandardHolder();  // never destroyed; flushed by an exit handler
  return *h;
}

void flushStandardAtExit() {
  std::shared_ptr<UserDefaults> d;
  {
    std::lock_guard lock(holder().mutex);
    d = holder().defaults;
  }
  if (d) d->flush();
}

int (*syncFile)(int) = ::fsync;

// Temporary files of writers that died before their rename, left for this long,
// are removed when the settings are loaded.
constexpr auto kStaleTemporaryAge = std::chrono::minutes(10);

void removeStaleTemporaries(const fs::path& target) {
  std::error_code ec;
  const auto dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string prefix = target.filename().string() + ".tmp-";
  const auto now = fs::file_time_type::clock::now();
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const auto name = it->path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    std::error_code timeError;
    const auto written = fs::last_write_time(it->path(), timeError);
    if (!timeError && now - written > kStaleTemporaryAge) fs::remove(it->path(), timeError);
  }
}

// Writes `text` to a temporary file of its own beside `path` (so that writers in
// several processes never share one), makes it durable, then renames it over
// `path`. On any failure the old file stays as it was.
bool writeFileAtomically(const std::string& path, const std::string& text, std::string& error) {
  const fs::path target(path);
  std::error_code ec;
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  std::string tmp = path + ".tmp-XXXXXX";
  const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  auto abandon = [&](const char* step) {
    error = std::string(step) + ": " + std::strerror(errno);
    ::close(fd);
    ::unlink(tmp.c_str());
    return false;
  };
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return abandon("write");
    }
    done += static_cast<std::size_t>(n);
  }
  // Only a file known to be on the disk may replace the old one.
  if (syncFile(fd) != 0) return abandon("fsync");
  if (::close(fd) != 0) {
    error = std::string("close: ") + std::strerror(errno);
    ::unlink(tmp.c_str());
    return false;
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    error = std::string("rename: ") + std::strerror(errno);
    ::unlink(tmp.c_str());
    return false;
  }
  // Make the rename itself durable.
  if (target.has_parent_path()) {
    const int dfd = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
      ::fsync(dfd);
      ::close(dfd);
    }
  }
  return true;
}

}  // namespace

namespace detail {
void resetStandardDefaults() {
  std::shared_ptr<UserDefaults> old;
  {
    std::lock_guard lock(holder().mutex);
    old.swap(holder().defaults);
  }
  if (old) old->flush();
}

void setFileSyncForTesting(int (*sync)(int)) { syncFile = sync ? sync : ::fsync; }
}  // namespace detail

void UserDefaults::closeStandard() { detail::resetStandardDefaults(); }

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) { load(); }

UserDefaults::~UserDefaults() { flush(); }

std::shared_ptr<UserDefaults> UserDefaults::standard() {
  std::lock_guard lock(holder().mutex);
  if (!holder().defaults) {
    static const bool registered = [] { return std::atexit(flushStandardAtExit) == 0; }();
    (void)registered;
    holder().defaults = std::make_shared<UserDefaults>((fs::path(dataDirectory()) / "UserDefaults.json").string());
  }
  return holder().defaults;
}

void UserDefaults::load() {
  removeStaleTemporaries(path_);
  std::error_code ec;
  if (!fs::exists(path_, ec)) return;
  std::ifstream in(path_, std::ios::binary);
  std::stringstream buffer;
  bool ok = false;
  std::string why;
  if (in) {
    buffer << in.rdbuf();
    auto parsed = nlohmann::json::parse(buffer.str(), nullptr, false);
    if (parsed.is_object()) {
      values_ = std::move(parsed);
      ok = true;
    } else {
      why = parsed.is_discarded() ? "not valid JSON" : "not a JSON object";
    }
  } else {
    why = "cannot be read";
  }
  if (ok) return;
  const auto stamp =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  const std::string aside = path_ + ".corrupt-" + std::to_string(stamp);
  fs::rename(path_, aside, ec);
  log("UserDefaults: settings file " + path_ + " " + why + "; moved to " +
      (ec ? std::string("(rename failed)") : aside) + ", starting empty");
  values_ = nlohmann::json::object();
}

std::optional<nlohmann::json> UserDefaults::objectForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  const auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return *it;
}

void UserDefaults::setObject(const std::string& key, nlohmann::json value) {
  {
    std::lock_guard lock(mutex_);
    values_[key] = std::move(value);
  }
  synchronize();
}

void UserDefaults::removeObject(const std::string& key) {
  {
    std::lock_guard lock(mutex_);
    values_.erase(key);
  }
  synchronize();
}

nlohmann::json UserDefaults::snapshot() const {
  std::lock_guard lock(mutex_);
  return values_;
}

bool UserDefaults::synchronize() {
  std::string text;
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    text = values_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    generation = ++generation_;
  }
  writer_.async([this, text = std::move(text), generation] { writeNow(text, generation); });
  return true;
}

void UserDefaults::writeNow(const std::string& text, std::uint64_t generation) {
  {
    std::lock_guard lock(mutex_);
    // A newer snapshot is queued behind this one: let it do the writing.
    if (generation < generation_) return;
    if (generation <= written_) return;
  }
  std::string error;
  if (!writeFileAtomically(path_, text, error)) {
    log("UserDefaults: cannot write " + path_ + ": " + error);
    return;
  }
  std::lock_guard lock(mutex_);
  written_ = generation;
}

void UserDefaults::flush() { writer_.sync(); }

}  // namespace tolba::platform
