#include "tolba/platform/property_list.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>

namespace tolba::platform {
namespace {

TEST(PropertyListTest, ReadsXmlAndBinaryFormsAlike) {
  const nlohmann::json value = {
      {"gameid", "1001"}, {"islandscape", 1}, {"flag", true}, {"list", {"a", "b"}}, {"ratio", 0.5}};
  const std::string xml = writeXmlPropertyList(value);
  EXPECT_EQ(parsePropertyList(xml), value);

  plist_t root = nullptr;
  plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
  char* bin = nullptr;
  uint32_t len = 0;
  plist_to_bin(root, &bin, &len);
  EXPECT_EQ(parsePropertyList(std::string(bin, len)), value);
  std::free(bin);
  plist_free(root);
}

TEST(PropertyListTest, GarbageAndMissingFilesGiveNothing) {
  EXPECT_FALSE(parsePropertyList("").has_value());
  EXPECT_FALSE(parsePropertyList("not a plist").has_value());
  EXPECT_FALSE(parsePropertyList("bplist00\x01\x02").has_value());
  EXPECT_FALSE(readPropertyList("/nonexistent/Tolba.plist").has_value());
}

}  // namespace
}  // namespace tolba::platform
