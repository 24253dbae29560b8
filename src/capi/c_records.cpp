#include "capi/c_records.h"

#include <functional>
#include <map>

namespace tolba::capi {
namespace {

using Json = nlohmann::json;

template <class Record>
using Setter = std::function<bool(Record&, const Json&)>;

// A string property: a text, or null for "not set".
template <class Record>
Setter<Record> text(void (Record::*set)(std::optional<std::string>)) {
  return [set](Record& r, const Json& v) {
    if (v.is_null()) return (r.*set)(std::nullopt), true;
    if (!v.is_string()) return false;
    (r.*set)(v.get<std::string>());
    return true;
  };
}

template <class Record>
std::shared_ptr<Record> fill(const Json& object, const std::map<std::string, Setter<Record>>& setters,
                             std::string* why) {
  auto record = std::make_shared<Record>();
  for (const auto& [key, value] : object.items()) {
    const auto setter = setters.find(key);
    if (setter == setters.end()) {
      *why = "unknown key \"" + key + "\"";
      return nullptr;
    }
    if (!setter->second(*record, value)) {
      *why = "\"" + key + "\" has the wrong type";
      return nullptr;
    }
  }
  return record;
}

}  // namespace

std::shared_ptr<TolbaSDKInitConfig> initConfigFromJson(const Json& object, std::string* why) {
  static const std::map<std::string, Setter<TolbaSDKInitConfig>> setters{
      {"gameid", text(&TolbaSDKInitConfig::setGameid)}};
  return fill(object, setters, why);
}

std::shared_ptr<TolbaSDKGameRoleInfo> roleFromJson(const Json& object, std::string* why) {
  using R = TolbaSDKGameRoleInfo;
  static const std::map<std::string, Setter<R>> setters{{"serverId", text(&R::setServerId)},
                                                        {"serverName", text(&R::setServerName)},
                                                        {"gameRoleName", text(&R::setGameRoleName)},
                                                        {"gameRoleID", text(&R::setGameRoleID)},
                                                        {"gameRoleGender", text(&R::setGameRoleGender)},
                                                        {"gameUserBalance", text(&R::setGameUserBalance)},
                                                        {"vipLevel", text(&R::setVipLevel)},
                                                        {"gameUserLevel", text(&R::setGameUserLevel)},
                                                        {"partyName", text(&R::setPartyName)},
                                                        {"sign", text(&R::setSign)},
                                                        {"partyId", text(&R::setPartyId)},
                                                        {"creatTime", text(&R::setCreatTime)},
                                                        {"fightPower", text(&R::setFightPower)},
                                                        {"professionId", text(&R::setProfessionId)},
                                                        {"profession", text(&R::setProfession)},
                                                        {"friendlist", text(&R::setFriendlist)},
                                                        {"partyRoleId", text(&R::setPartyRoleId)},
                                                        {"partyRoleName", text(&R::setPartyRoleName)}};
  return fill(object, setters, why);
}

std::shared_ptr<TolbaSDKPayOrderInfo> orderFromJson(const Json& object, std::string* why) {
  using O = TolbaSDKPayOrderInfo;
  auto number = [](void (O::*set)(float)) -> Setter<O> {
    return [set](O& o, const Json& v) {
      if (!v.is_number()) return false;
      (o.*set)(v.get<float>());
      return true;
    };
  };
  static const std::map<std::string, Setter<O>> setters{
      {"goodsID", text(&O::setGoodsID)},
      {"productName", text(&O::setProductName)},
      {"cpOrderID", text(&O::setCpOrderID)},
      {"count",
       [](O& o, const Json& v) {
         if (!v.is_number_unsigned() && !(v.is_number_integer() && v.get<std::int64_t>() >= 0)) return false;
         o.setCount(v.get<std::uint64_t>());
         return true;
       }},
      {"amount", number(&O::setAmount)},
      {"extrasParams", text(&O::setExtrasParams)},
      {"sign", text(&O::setSign)},
      {"price", number(&O::setPrice)},
      {"productDesc", text(&O::setProductDesc)},
      {"quantifier", text(&O::setQuantifier)}};
  return fill(object, setters, why);
}

}  // namespace tolba::capi
