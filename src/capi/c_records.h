#pragma once
// The public records from the JSON objects of the C interface: keys are the
// records' property names; a key the record does not have, or a value of the
// wrong type, is refused with the key named in `why`.

#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tolba/TolbaSDKGameRoleInfo.h"
#include "tolba/TolbaSDKInitConfig.h"
#include "tolba/TolbaSDKPayOrderInfo.h"

namespace tolba::capi {

std::shared_ptr<TolbaSDKInitConfig> initConfigFromJson(const nlohmann::json& object, std::string* why);
std::shared_ptr<TolbaSDKGameRoleInfo> roleFromJson(const nlohmann::json& object, std::string* why);
std::shared_ptr<TolbaSDKPayOrderInfo> orderFromJson(const nlohmann::json& object, std::string* why);

}  // namespace tolba::capi
