// Fuzz target of the settings file: any bytes as UserDefaults.json. Loading must
// not crash; a file that is not a JSON object is set aside and the settings
// start empty; the two keys the SDK keeps read back through its own accessors;
// and a value written afterwards reads back after a reload.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_support.h"
#include "model/TolbaSDKGameConfig.h"
#include "platform/standard_defaults.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/user_defaults.h"

namespace {
int noSync(int) { return 0; }  // the disk is not what is tested here
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolba;
  namespace fs = std::filesystem;
  fuzz::silenceLog();
  static const auto folder = [] {
    platform::detail::setFileSyncForTesting(noSync);
    auto dir = fuzz::scratchFolder() / "data";
    fs::create_directories(dir);
    platform::setDataDirectory(dir.string());
    return dir;
  }();
  const auto path = folder / "UserDefaults.json";
  platform::UserDefaults::closeStandard();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

  // The SDK's own reads of its two keys, whatever they hold.
  (void)TolbaSDKGameConfig::getSdkUid();
  (void)TolbaSDKGameConfig::readStringValueByKey("TolbaPlatformSysIDFA");
  auto defaults = platform::UserDefaults::standard();
  const auto before = defaults->snapshot();
  fuzz::check(before.is_object());

  TolbaSDKGameConfig::setSdkUid(nlohmann::json(42));
  platform::UserDefaults::closeStandard();
  fuzz::check(TolbaSDKGameConfig::getSdkUid() == "42");
  // Nothing else was lost on the way (a corrupt file started empty).
  auto after = platform::UserDefaults::standard()->snapshot();
  after.erase("PTChannelSdkAccount");
  auto expected = before;
  expected.erase("PTChannelSdkAccount");
  // (Compared as text: a number too large for a double reads as infinity and is
  // stored as null.)
  const auto text = [](const nlohmann::json& v) {
    return v.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  };
  fuzz::check(text(after) == text(expected));

  platform::UserDefaults::closeStandard();
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) fs::remove(entry.path(), ec);
  return 0;
}
