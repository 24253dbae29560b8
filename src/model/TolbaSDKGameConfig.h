#pragma once
// Everything the SDK asks about its surroundings: the game id, server base URL
// and channel (from "Tolba.plist" in the bundle), the orientation, the device
// identifier, the stored channel account id and the model name. The only code
// that reads or writes the user defaults.

#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tolba/TolbaSDKInitConfig.h"
#include "tolba/platform/user_defaults.h"

namespace tolba {

class TolbaSDKGameConfig {
 public:
  using Json = nlohmann::json;

  static std::shared_ptr<TolbaSDKGameConfig> defaultInstance();

  // Tolba.plist: an empty object when the bundle has none, nullopt when the file
  // exists but is not a readable dictionary.
  // On the main run loop's thread the file is looked at once per turn of the
  // loop; elsewhere at every call.
  static std::optional<Json> getConfigFile();
  // Tolba.plist has just been rewritten: the next read looks at it again, even
  // within the same turn.
  static void configFileChanged();
  // The file's "gameid" as stored, else the init record's, else null (nil).
  static Json getGameId();
  // The file's "url" as stored, else the build-time default base URL.
  static Json getMainUrl();
  // The file's "allowplainhttp" is 1: requests may go over plain http:// to any
  // host, not only to this machine (the password then travels readable).
  static bool getAllowPlainHttp();
  // The file's "channel" as stored, else "cps001".
  static Json getChannel();
  // Device identifier; possibly empty.
  static std::string getUUID();
  static std::string getPhoneName();
  static std::string getSysVersion();
  // Lower-case hex MD5 of the UTF-8 bytes up to the first zero byte; nullopt for
  // nil or empty text.
  static std::optional<std::string> stringMD5(const std::optional<std::string>& text);
  // Stores the channel account id: "" for nil/null, otherwise the "%@" text.
  static void setSdkUid(const Json& value);
  static std::string getSdkUid();
  static std::optional<Json> readStringValueByKey(const std::string& key);
  // Stores `value` under `key` (nullopt removes it) and flushes.
  static void saveStringInfo(const std::optional<Json>& value, const std::string& key);
  static std::shared_ptr<platform::UserDefaults> getUserDefaults();

  // The record the game initialised the SDK with (its "gameid" is the fallback
  // of getGameId); the facade hands it down at initialisation.
  static void setInitConfig(std::shared_ptr<const TolbaSDKInitConfig> config);

  // "1" landscape, "0" portrait, nullopt when nothing decides (asked again later).
  std::optional<std::string> getIsLandscape();
  const std::optional<std::string>& islandscape() const { return islandscape_; }
  void setIslandscape(std::optional<std::string> value) { islandscape_ = std::move(value); }

  // Forgets the cached orientation answer (tests).
  static void resetForTesting();

 private:
  static std::optional<Json> lookAtConfigFile(const std::string& path);

  std::optional<std::string> islandscape_;
  std::shared_ptr<const TolbaSDKInitConfig> initConfig_;
};

// Keys of the two persisted settings.
inline constexpr char kTolbaIdfaKey[] = "TolbaPlatformSysIDFA";
inline constexpr char kTolbaChannelAccountKey[] = "PTChannelSdkAccount";

}  // namespace tolba
