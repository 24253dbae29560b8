#include "model/phone_model_names.h"

#include <initializer_list>

namespace tolba {
namespace {

struct Row {
  std::initializer_list<std::string_view> ids;
  const char* name;
};

// 44 rows, 77 identifiers; the first row that lists an identifier wins.
const Row kRows[] = {
    {{"i386", "x86_64"}, "Simulator"},
    {{"iPhone1,1"}, "iPhone1G"},
    {{"iPhone1,2"}, "iPhone3G"},
    {{"iPhone2,1"}, "iPhone3GS"},
    {{"iPhone3,1"}, "iPhone4"},
    {{"iPhone3,2"}, "VerizoniPhone4"},
    {{"iPhone4,1"}, "iPhone4S"},
    {{"iPhone5,1", "iPhone5,2"}, "iPhone5"},
    {{"iPhone5,3", "iPhone5,4"}, "iPhone5C"},
    {{"iPhone6,1", "iPhone6,2"}, "iPhone5S"},
    {{"iPhone7,1"}, "iPhone6Plus"},
    {{"iPhone7,2"}, "iPhone6"},
    {{"iPhone8,1"}, "iPhone6s"},
    {{"iPhone8,2"}, "iPhone6sPlus"},
    {{"iPhone9,1"}, "iPhone7"},
    {{"iPhone9,2", "iPhone9,3", "iPhone9,4"}, "iPhone7Plus"},
    {{"iPhone8,4", "iPhone8,3"}, "iPhoneSE"},
    {{"iPhone10,1", "iPhone10,4"}, "iPhone8"},
    {{"iPhone10,2", "iPhone10,5"}, "iPhone8Plus"},
    {{"iPhone10,3", "iPhone10,6"}, "iPhoneX"},
    {{"iPhone11,8"}, "iPhoneXR"},
    {{"iPhone11,2"}, "iPhoneXS"},
    {{"iPhone11,6", "iPhone11,4"}, "iPhoneXSMax"},
    {{"iPod1,1"}, "iPodTouch"},
    {{"iPod2,1"}, "iPodTouch2"},
    {{"iPod3,1"}, "iPodTouch3"},
    {{"iPod4,1"}, "iPodTouch4"},
    {{"iPod5,1"}, "iPodTouch5"},
    {{"iPod7,1"}, "iPodTouch6"},
    {{"iPad1,1"}, "iPad"},
    {{"iPad2,1", "iPad2,2", "iPad2,3", "iPad2,4"}, "iPad2"},
    {{"iPad3,1", "iPad3,2", "iPad3,3"}, "iPad3"},
    {{"iPad3,4", "iPad3,5", "iPad3,6"}, "iPad4"},
    {{"iPad4,1", "iPad4,2", "iPad4,3"}, "iPadAir"},
    {{"iPad5,3", "iPad5,4"}, "iPadAir2"},
    {{"iPad6,7", "iPad6,8"}, "iPadPro(12.9-inch)"},
    {{"iPad6,3", "iPad6,4"}, "iPadPro(9.7-inch)"},
    {{"iPad6,11", "iPad6,12"}, "iPad(5th generation)"},
    {{"iPad7,1", "iPad7,2"}, "iPadPro(12.9-inch,2ndgeneration)"},
    {{"iPad7,3", "iPad7,4"}, "iPadPro(10.5-inch)"},
    {{"iPad2,5", "iPad2,6", "iPad2,7"}, "iPadmini"},
    {{"iPad4,4", "iPad4,5", "iPad4,6"}, "iPadmini2"},
    {{"iPad4,7", "iPad4,8", "iPad4,9"}, "iPadmini3"},
    {{"iPad5,1", "iPad5,2"}, "iPadmini4"},
};

}  // namespace

const char* phoneModelName(std::string_view machine) {
  for (const auto& row : kRows) {
    for (const auto id : row.ids) {
      if (id == machine) return row.name;
    }
  }
  return nullptr;
}

}  // namespace tolba
