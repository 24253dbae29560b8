#include "sdk/unsettled_orders.h"

#include <chrono>

#include "model/TolbaSDKGameConfig.h"
#include "net/order_state_query.h"
#include "tolba/platform/log.h"
#include "tolba/platform/value.h"

namespace tolba {
namespace {

using Json = nlohmann::json;

std::int64_t wallSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Orders being asked about now.
std::set<std::string>& asking() {
  static std::set<std::string> orders;
  return orders;
}

void store(const Json& list) {
  TolbaSDKGameConfig::saveStringInfo(list.empty() ? std::nullopt : std::optional<Json>(list), UnsettledOrders::kKey);
}

void remove(const std::string& orderId) {
  Json kept = Json::array();
  for (const auto& entry : UnsettledOrders::list()) {
    if (entry.value("orderId", "") != orderId) kept.push_back(entry);
  }
  store(kept);
}

}  // namespace

Json UnsettledOrders::list() {
  const auto stored = TolbaSDKGameConfig::readStringValueByKey(kKey);
  Json out = Json::array();
  if (!stored || !stored->is_array()) return out;
  // Entries that are not what this code writes are dropped, not trusted.
  for (const auto& entry : *stored) {
    if (entry.is_object() && entry.contains("orderId") && entry["orderId"].is_string() &&
        entry.value("cpOrderId", Json()).is_string() && entry.value("since", Json()).is_number_integer()) {
      out.push_back(entry);
    }
  }
  return out;
}

void UnsettledOrders::add(const std::string& orderId, const std::string& cpOrderId) {
  Json kept = Json::array();
  for (const auto& entry : list()) {
    if (entry.value("orderId", "") != orderId) kept.push_back(entry);
  }
  kept.push_back({{"orderId", orderId}, {"cpOrderId", cpOrderId}, {"since", wallSeconds()}});
  while (kept.size() > kMostKept) kept.erase(kept.begin());
  store(kept);
  platform::log("TolbaLog:order " + orderId + " is unsettled; it will be asked about again");
}

void UnsettledOrders::askAgain(Paid paid) {
  for (const auto& entry : list()) {
    const std::string orderId = entry.value("orderId", "");
    const std::string cpOrderId = entry.value("cpOrderId", "");
    const std::int64_t since = entry.value("since", std::int64_t{0});
    if (!asking().insert(orderId).second) continue;
    OrderStateQuery::ask(orderId, {}, [orderId, cpOrderId, since, paid](OrderState state) {
      asking().erase(orderId);
      // Gone already (reported by an earlier answer): nothing more to say.
      bool kept = false;
      for (const auto& e : list()) kept = kept || e.value("orderId", "") == orderId;
      if (!kept) return;
      platform::log("TolbaLog:unsettled order " + orderId + ": the server says " + orderStateName(state));
      if (state == OrderState::Paid) {
        remove(orderId);  // first, so that it is reported once
        if (paid) paid(orderId, cpOrderId);
      } else if (state == OrderState::Unsupported ||
                 (state == OrderState::Unpaid && wallSeconds() - since > kKeptSeconds)) {
        remove(orderId);
      }
    });
  }
}

}  // namespace tolba
