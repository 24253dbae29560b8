#pragma once
// What the game hands to TolbaSDK::initWithConfig.

#include "tolba/record_property.h"

namespace tolba {

class TolbaSDKInitConfig {
  // The game's id at the publisher; must be non-empty. Tolba.plist's "gameid"
  // takes precedence when present.
  TOLBA_STRING_PROPERTY(gameid, setGameid)
};

}  // namespace tolba
