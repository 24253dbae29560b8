// The records a game fills in, as C# classes; each writes itself as the JSON
// object the C interface takes (property names as in the SDK's records).
using System.Collections.Generic;

namespace Tolba {

public class TolbaSDKInitConfig {
  public string GameId;

  internal string ToJson() {
    return TolbaJson.Object(new Dictionary<string, object> { { "gameid", GameId } });
  }
}

public class TolbaSDKGameRoleInfo {
  public string ServerId, ServerName, GameRoleName, GameRoleID, GameRoleGender, GameUserBalance, VipLevel,
      GameUserLevel, PartyName, Sign, PartyId, CreatTime, FightPower, ProfessionId, Profession, Friendlist,
      PartyRoleId, PartyRoleName;

  internal string ToJson() {
    return TolbaJson.Object(new Dictionary<string, object> {
      { "serverId", ServerId }, { "serverName", ServerName }, { "gameRoleName", GameRoleName },
      { "gameRoleID", GameRoleID }, { "gameRoleGender", GameRoleGender }, { "gameUserBalance", GameUserBalance },
      { "vipLevel", VipLevel }, { "gameUserLevel", GameUserLevel }, { "partyName", PartyName }, { "sign", Sign },
      { "partyId", PartyId }, { "creatTime", CreatTime }, { "fightPower", FightPower },
      { "professionId", ProfessionId }, { "profession", Profession }, { "friendlist", Friendlist },
      { "partyRoleId", PartyRoleId }, { "partyRoleName", PartyRoleName } });
  }
}

public class TolbaSDKPayOrderInfo {
  public string GoodsID, ProductName, CpOrderID, ExtrasParams, Sign, ProductDesc, Quantifier;
  public ulong Count;
  public float Amount;  // yuan
  public float Price;

  internal string ToJson() {
    return TolbaJson.Object(new Dictionary<string, object> {
      { "goodsID", GoodsID }, { "productName", ProductName }, { "cpOrderID", CpOrderID }, { "count", Count },
      { "amount", Amount }, { "extrasParams", ExtrasParams }, { "sign", Sign }, { "price", Price },
      { "productDesc", ProductDesc }, { "quantifier", Quantifier } });
  }
}

}  // namespace Tolba
