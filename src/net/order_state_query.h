#pragma once
// Settling a payment by asking the channel server what became of its order
// ("sdkmini/pay/query") instead of taking the client's word for it. A WeChat
// payment may be confirmed a few seconds after the player returns, and a reply
// may be lost on its way, so an "unpaid" answer or no answer at all is asked
// again after each delay of the schedule before it is taken as final.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tolba {

enum class OrderState {
  Paid,
  Unpaid,
  // No answer, however often asked: the outcome is unknown.
  Unknown,
  // The server does not answer this question (not found, unreadable, refused).
  Unsupported,
};

class OrderStateQuery {
 public:
  using Done = std::function<void(OrderState)>;

  // Asks about `orderId`, again after each delay of `retries` (seconds) while
  // the answer is "unpaid" or missing, and calls `done` once, on the main run
  // loop, with the last answer. Main thread.
  static void ask(const std::optional<std::string>& orderId, std::vector<double> retries, Done done);

  // The schedule of a payment being settled while the player waits: about ten
  // seconds in all unless set (demos shorten it). Main thread.
  static const std::vector<double>& settlingRetries();
  static void setSettlingRetries(std::vector<double> retries);
};

const char* orderStateName(OrderState state);

}  // namespace tolba
