#pragma once
// The phones the simulator can pretend to be: a screen size in points, a scale
// and the safe-area insets, in portrait; landscape turns them.

#include <string>
#include <vector>

#include "tolba/TolbaHost.h"

namespace tolba::sim {

struct Device {
  std::string name;
  std::string description;
  double width = 375;  // points, portrait
  double height = 667;
  double scale = 2;
  TolbaEdgeInsets portraitInsets;
  TolbaEdgeInsets landscapeInsets;
};

const std::vector<Device>& devices();
// nullptr for a name that is not in the list.
const Device* findDevice(const std::string& name);
const Device& defaultDevice();

// The host screen of `device` held upright or on its side (home button or
// indicator to the right, the way a game is usually held).
TolbaScreen screenOf(const Device& device, bool landscape);

}  // namespace tolba::sim
