#pragma once
// The player's game role, reported with TolbaSDK::updateRoleInfoWith and sent
// with every payment. Every property is optional text; unset ones are left out
// of the server requests.

#include "tolba/record_property.h"

namespace tolba {

class TolbaSDKGameRoleInfo {
  TOLBA_STRING_PROPERTY(serverId, setServerId)
  TOLBA_STRING_PROPERTY(serverName, setServerName)
  TOLBA_STRING_PROPERTY(gameRoleName, setGameRoleName)
  TOLBA_STRING_PROPERTY(gameRoleID, setGameRoleID)
  TOLBA_STRING_PROPERTY(gameRoleGender, setGameRoleGender)
  TOLBA_STRING_PROPERTY(gameUserBalance, setGameUserBalance)
  TOLBA_STRING_PROPERTY(vipLevel, setVipLevel)
  TOLBA_STRING_PROPERTY(gameUserLevel, setGameUserLevel)
  TOLBA_STRING_PROPERTY(partyName, setPartyName)
  TOLBA_STRING_PROPERTY(sign, setSign)
  TOLBA_STRING_PROPERTY(partyId, setPartyId)
  TOLBA_STRING_PROPERTY(creatTime, setCreatTime)
  TOLBA_STRING_PROPERTY(fightPower, setFightPower)
  TOLBA_STRING_PROPERTY(professionId, setProfessionId)
  TOLBA_STRING_PROPERTY(profession, setProfession)
  TOLBA_STRING_PROPERTY(friendlist, setFriendlist)
  TOLBA_STRING_PROPERTY(partyRoleId, setPartyRoleId)
  TOLBA_STRING_PROPERTY(partyRoleName, setPartyRoleName)
};

}  // namespace tolba
