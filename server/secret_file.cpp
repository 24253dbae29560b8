#include "secret_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "crypto.h"
#include "tolba/platform/log.h"

namespace tolba::sandbox {
namespace {

constexpr std::size_t kSecretBytes = 32;

std::string systemError() { return std::strerror(errno); }

}  // namespace

bool makeOwnerOnly(const std::string& path, bool create) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0), 0600);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  if (ok && (st.st_mode & 077) != 0) {
    ok = ::fchmod(fd, st.st_mode & 0700) == 0;
    if (ok) platform::log("[sandbox] " + path + " was readable by others; now only by its owner");
  }
  ::close(fd);
  return ok;
}

std::string defaultSecretPath(const std::string& dbPath) {
  if (dbPath.empty() || dbPath == ":memory:" || dbPath.rfind("file:", 0) == 0) return {};
  return dbPath + ".secret";
}

std::optional<std::string> loadOrCreateSecret(const std::string& path, std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<std::string> {
    if (error) *error = why;
    return std::nullopt;
  };
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd >= 0) {
    const std::string secret = randomHex(kSecretBytes) + "\n";
    const bool written = ::write(fd, secret.data(), secret.size()) == static_cast<ssize_t>(secret.size());
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!written || !synced) {
      ::unlink(path.c_str());
      return fail("cannot write the secret file " + path + ": " + systemError());
    }
    platform::log("[sandbox] created the signing secret " + path + " (readable by its owner only)");
    return secret.substr(0, secret.size() - 1);
  }
  if (errno != EEXIST) return fail("cannot create the secret file " + path + ": " + systemError());
  if (!makeOwnerOnly(path, false)) return fail("cannot open the secret file " + path + ": " + systemError());
  fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return fail("cannot open the secret file " + path + ": " + systemError());
  char buffer[256];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  if (n < 0) return fail("cannot read the secret file " + path + ": " + systemError());
  std::string secret(buffer, static_cast<std::size_t>(n));
  while (!secret.empty() && (secret.back() == '\n' || secret.back() == '\r' || secret.back() == ' ')) secret.pop_back();
  if (secret.size() < 32) return fail("the secret file " + path + " holds no secret (32 or more characters)");
  return secret;
}

}  // namespace tolba::sandbox
