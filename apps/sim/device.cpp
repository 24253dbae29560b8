#include "device.h"

namespace tolba::sim {

const std::vector<Device>& devices() {
  static const std::vector<Device> list = {
      {"standard", "375 x 667 points at scale 2 (a 4.7-inch phone with a home button)", 375, 667, 2, {}, {}},
      {"small", "320 x 568 points at scale 2 (a 4-inch phone)", 320, 568, 2, {}, {}},
      {"plus", "414 x 736 points at scale 3 (a 5.5-inch phone)", 414, 736, 3, {}, {}},
      {"notch", "390 x 844 points at scale 3, with a notch and a home indicator", 390, 844, 3,
       TolbaEdgeInsets{47, 0, 34, 0}, TolbaEdgeInsets{0, 47, 21, 47}},
  };
  return list;
}

const Device* findDevice(const std::string& name) {
  for (const auto& device : devices()) {
    if (device.name == name) return &device;
  }
  return nullptr;
}

const Device& defaultDevice() { return devices().front(); }

TolbaScreen screenOf(const Device& device, bool landscape) {
  TolbaScreen screen;
  screen.scale = device.scale;
  if (landscape) {
    screen.width = device.height;
    screen.height = device.width;
    screen.safeArea = device.landscapeInsets;
    screen.orientation = TolbaOrientation::LandscapeRight;
  } else {
    screen.width = device.width;
    screen.height = device.height;
    screen.safeArea = device.portraitInsets;
    screen.orientation = TolbaOrientation::Portrait;
  }
  return screen;
}

}  // namespace tolba::sim
