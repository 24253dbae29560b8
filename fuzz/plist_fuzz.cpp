// Fuzz target of the configuration file: any bytes as Tolba.plist (XML or
// binary property list, or neither). Reading must not crash, and every
// question the SDK asks of the file gets an answer of the documented type.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "fuzz_support.h"
#include "model/TolbaSDKGameConfig.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/property_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolba;
  fuzz::silenceLog();
  static const auto bundle = [] {
    auto dir = fuzz::scratchFolder() / "bundle";
    std::filesystem::create_directories(dir);
    platform::setBundleDirectory(dir.string());
    return dir;
  }();
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // The parser alone, then the file as the SDK reads it.
  if (const auto parsed = platform::parsePropertyList(bytes)) {
    // What parses can be written out as XML again.
    if (parsed->is_object() || parsed->is_array())
      (void)platform::parsePropertyList(platform::writeXmlPropertyList(*parsed));
  }
  {
    std::ofstream out(bundle / "Tolba.plist", std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  TolbaSDKGameConfig::resetForTesting();
  const auto file = TolbaSDKGameConfig::getConfigFile();
  fuzz::check(!file || file->is_object());
  (void)TolbaSDKGameConfig::getGameId();
  (void)TolbaSDKGameConfig::getMainUrl();
  (void)TolbaSDKGameConfig::getChannel();
  const auto landscape = TolbaSDKGameConfig::defaultInstance()->getIsLandscape();
  fuzz::check(!landscape || !landscape->empty());
  return 0;
}
