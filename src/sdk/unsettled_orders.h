#pragma once
// Payments whose outcome nobody could learn (the payment and the questions
// about it all went unanswered). They are kept in the settings under
// "TolbaUnsettledOrders" and asked about again at the next start, sign-in and
// return to the foreground; an order the server later calls paid is reported
// to the game once, as a late success. Main thread only.

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

namespace tolba {

class UnsettledOrders {
 public:
  // The settings key of the list.
  static constexpr char kKey[] = "TolbaUnsettledOrders";
  // At most this many orders are kept (the oldest go first).
  static constexpr std::size_t kMostKept = 32;
  // An order still unpaid this long after it went unsettled is let go.
  static constexpr std::int64_t kKeptSeconds = 24 * 3600;

  // Called with each order found paid: its order id and the game's order id.
  using Paid = std::function<void(const std::string& orderId, const std::string& cpOrderId)>;

  // Keeps `orderId` (of the game's `cpOrderId`) to be asked about later.
  static void add(const std::string& orderId, const std::string& cpOrderId);
  // Asks the server once about every kept order not already being asked about.
  static void askAgain(Paid paid);
  // The kept orders: [{"orderId", "cpOrderId", "since"}].
  static nlohmann::json list();
};

}  // namespace tolba
