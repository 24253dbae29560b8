#include "model/TolbaSDKGameConfig.h"

#include <openssl/evp.h>

#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "model/phone_model_names.h"
#include "tolba/build_settings.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/bundle.h"
#include "tolba/platform/device.h"
#include "tolba/platform/log.h"
#include "tolba/platform/property_list.h"
#include "tolba/platform/run_loop.h"
#include "tolba/platform/value.h"

namespace tolba {
namespace {

constexpr char kConfigFileName[] = "Tolba.plist";
constexpr char kDefaultChannel[] = "cps001";

std::shared_ptr<TolbaSDKGameConfig>& instanceSlot() {
  static auto* slot = new std::shared_ptr<TolbaSDKGameConfig>();
  return *slot;
}

// The file's value for `key` when the file has at least one entry and the key.
const nlohmann::json* fileValue(const std::optional<nlohmann::json>& file, const char* key) {
  if (!file || !file->is_object() || file->empty()) return nullptr;
  return platform::find(*file, key);
}

// The configuration file as last read, with what identified that version of it,
// so that every request does not read and parse the file again.
struct ConfigFileCache {
  std::mutex mutex;
  std::string path;
  struct timespec modified {};
  off_t size = -1;
  ino_t inode = 0;
  std::optional<nlohmann::json> contents;
  // What the main run loop's thread was answered in the loop's current turn:
  // the file is looked at once a turn, however many values a request reads
  // (each look is a system call on the game's main thread). Forgotten by a
  // task posted behind the turn, or when the file is known to have changed.
  std::string memoPath;
  std::optional<std::optional<nlohmann::json>> memo;
};

ConfigFileCache& configFileCache() {
  static auto* cache = new ConfigFileCache();
  return *cache;
}

}  // namespace

std::shared_ptr<TolbaSDKGameConfig> TolbaSDKGameConfig::defaultInstance() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (!instanceSlot()) instanceSlot() = std::make_shared<TolbaSDKGameConfig>();
  });
  return instanceSlot();
}

void TolbaSDKGameConfig::resetForTesting() {
  instanceSlot() = std::make_shared<TolbaSDKGameConfig>();
  configFileChanged();
}

void TolbaSDKGameConfig::configFileChanged() {
  auto& cache = configFileCache();
  std::lock_guard lock(cache.mutex);
  cache.memo.reset();
}

std::optional<nlohmann::json> TolbaSDKGameConfig::getConfigFile() {
  const std::string path = platform::bundleDirectory() + "/" + kConfigFileName;
  auto& cache = configFileCache();
  const bool mainThread = platform::RunLoop::main().isLoopThread();
  if (mainThread) {
    std::lock_guard lock(cache.mutex);
    if (cache.memo && cache.memoPath == path) return *cache.memo;
  }
  auto answer = lookAtConfigFile(path);
  if (mainThread) {
    std::lock_guard lock(cache.mutex);
    const bool forgetPending = cache.memo.has_value();  // a memo is always followed by its forgetting
    cache.memoPath = path;
    cache.memo = answer;
    if (!forgetPending) {
      platform::postToMain(
          [] {
            auto& c = configFileCache();
            std::lock_guard forget(c.mutex);
            c.memo.reset();
          },
          "the configuration file's turn ends");
    }
  }
  return answer;
}

std::optional<nlohmann::json> TolbaSDKGameConfig::lookAtConfigFile(const std::string& path) {
  // One look at the file tells whether it is there and whether it changed
  // (the bundle's resource look-up would take two more).
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return nlohmann::json::object();
  auto& cache = configFileCache();
  std::optional<nlohmann::json> contents;
  {
    std::lock_guard lock(cache.mutex);
    if (cache.path == path && cache.size == info.st_size && cache.inode == info.st_ino &&
        cache.modified.tv_sec == info.st_mtim.tv_sec && cache.modified.tv_nsec == info.st_mtim.tv_nsec) {
      contents = cache.contents;
    } else {
      contents = platform::readPropertyList(path);
      cache.path = path;
      cache.size = info.st_size;
      cache.inode = info.st_ino;
      cache.modified = info.st_mtim;
      cache.contents = contents;
    }
  }
  if (!contents || !contents->is_object()) {
    platform::log(std::string("TolbaLog:") + kConfigFileName + " is not a readable dictionary; using the defaults");
    return std::nullopt;
  }
  return contents;
}

nlohmann::json TolbaSDKGameConfig::getGameId() {
  const auto file = getConfigFile();
  if (const auto* v = fileValue(file, "gameid")) return *v;
  const auto& config = defaultInstance()->initConfig_;
  if (config && config->gameid()) return *config->gameid();
  return nullptr;
}

nlohmann::json TolbaSDKGameConfig::getMainUrl() {
  const auto file = getConfigFile();
  if (const auto* v = fileValue(file, "url")) return *v;
  return build::kDefaultBaseUrl;
}

bool TolbaSDKGameConfig::getAllowPlainHttp() {
  const auto file = getConfigFile();
  const auto* v = fileValue(file, "allowplainhttp");
  return v && (v->is_boolean() ? v->get<bool>() : platform::intValue(v) == 1);
}

nlohmann::json TolbaSDKGameConfig::getChannel() {
  const auto file = getConfigFile();
  if (const auto* v = fileValue(file, "channel")) return *v;
  return kDefaultChannel;
}

std::optional<std::string> TolbaSDKGameConfig::getIsLandscape() {
  if (islandscape_) return islandscape_;
  const auto file = getConfigFile();
  std::string text;
  if (file && file->is_object()) {
    if (const auto* v = platform::find(*file, "islandscape"); platform::isPresent(v)) text = platform::describe(*v);
  }
  if (file && file->is_object() && !file->empty() && !text.empty()) {
    islandscape_ = text;
    return islandscape_;
  }
  const auto info = platform::Bundle::main().infoDictionary();
  const auto* orientations = platform::find(info, "UISupportedInterfaceOrientations");
  if (orientations && orientations->is_array()) {
    for (const auto& entry : *orientations) {
      const std::string e = platform::describe(entry);
      if (e.find("Portrait") != std::string::npos) {
        islandscape_ = "0";
        return islandscape_;
      }
      if (e.find("Left") != std::string::npos || e.find("Right") != std::string::npos) {
        islandscape_ = "1";
        return islandscape_;
      }
    }
  }
  return std::nullopt;
}

std::string TolbaSDKGameConfig::getUUID() {
  if (const auto stored = readStringValueByKey(kTolbaIdfaKey)) {
    const std::string text = stored->is_string() ? stored->get<std::string>() : std::string();
    if (!text.empty()) return text;
  }
  auto& device = platform::Device::current();
  const auto advertising = device.advertising();
  const double version = std::strtod(device.systemVersion().c_str(), nullptr);
  if (version >= 14.0) {
    if (advertising.requestAuthorization) {
      advertising.requestAuthorization([identifier = advertising.identifier](platform::TrackingStatus status) {
        if (status != platform::TrackingStatus::Authorized || !identifier) return;
        saveStringInfo(nlohmann::json(identifier()), kTolbaIdfaKey);
      });
    }
    return "";
  }
  if (advertising.isTrackingEnabled && advertising.isTrackingEnabled() && advertising.identifier) {
    const std::string id = advertising.identifier();
    saveStringInfo(nlohmann::json(id), kTolbaIdfaKey);
    return id;
  }
  return device.identifierForVendor();
}

std::string TolbaSDKGameConfig::getPhoneName() {
  const std::string machine = platform::Device::current().machine();
  if (const char* name = phoneModelName(machine)) return name;
  return machine;
}

std::string TolbaSDKGameConfig::getSysVersion() { return platform::Device::current().systemVersion(); }

std::optional<std::string> TolbaSDKGameConfig::stringMD5(const std::optional<std::string>& text) {
  if (!text || text->empty()) return std::nullopt;
  // As with a C string, the digest stops at the first zero byte.
  const std::size_t length = std::strlen(text->c_str());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(text->data(), length, digest, &size, EVP_md5(), nullptr) != 1) return std::nullopt;
  std::string hex;
  hex.reserve(size * 2);
  char buf[3];
  for (unsigned int i = 0; i < size; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", digest[i]);
    hex += buf;
  }
  return hex;
}

void TolbaSDKGameConfig::setSdkUid(const nlohmann::json& value) {
  const std::string text = value.is_null() ? std::string() : platform::describe(value);
  saveStringInfo(nlohmann::json(text), kTolbaChannelAccountKey);
}

std::string TolbaSDKGameConfig::getSdkUid() {
  const auto stored = readStringValueByKey(kTolbaChannelAccountKey);
  if (!stored || stored->is_null()) return "";
  const std::string text = platform::describe(*stored);
  return text == "(null)" ? std::string() : text;
}

std::optional<nlohmann::json> TolbaSDKGameConfig::readStringValueByKey(const std::string& key) {
  return getUserDefaults()->objectForKey(key);
}

void TolbaSDKGameConfig::saveStringInfo(const std::optional<nlohmann::json>& value, const std::string& key) {
  auto defaults = getUserDefaults();
  if (value) {
    defaults->setObject(key, *value);
  } else {
    defaults->removeObject(key);
  }
  defaults->synchronize();
}

std::shared_ptr<platform::UserDefaults> TolbaSDKGameConfig::getUserDefaults() {
  return platform::UserDefaults::standard();
}

void TolbaSDKGameConfig::setInitConfig(std::shared_ptr<const TolbaSDKInitConfig> config) {
  defaultInstance()->initConfig_ = std::move(config);
}

}  // namespace tolba
