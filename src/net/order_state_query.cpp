#include "net/order_state_query.h"

#include <memory>
#include <utility>

#include "net/TolbaApi.h"
#include "net/reply_reading.h"
#include "tolba/platform/log.h"
#include "tolba/platform/run_loop.h"
#include "tolba/platform/value.h"

namespace tolba {
namespace {

std::vector<double>& retriesSlot() {
  static std::vector<double> retries{1, 2, 3, 4};
  return retries;
}

struct Asking : std::enable_shared_from_this<Asking> {
  std::optional<std::string> orderId;
  std::vector<double> retries;
  std::size_t attempt = 0;
  OrderStateQuery::Done done;

  void send() {
    auto self = shared_from_this();
    TolbaApi::channelQueryOrder(
        orderId, [self](const std::optional<nlohmann::json>& reply, const nlohmann::json&) { self->answered(reply); },
        [self](const std::string& why) {
          platform::log("TolbaLog:order query got no answer (" + why + ")");
          self->again(OrderState::Unknown);
        });
  }

  void answered(const std::optional<nlohmann::json>& reply) {
    const auto state =
        replyStatusIsOne(reply, "z") ? platform::stringValue(platform::find(*reply, "state")) : std::nullopt;
    if (state == "paid") return finish(OrderState::Paid);
    if (state == "unpaid") return again(OrderState::Unpaid);
    platform::log("TolbaLog:the server does not answer sdkmini/pay/query for order " +
                  platform::describeOrNil(orderId) + " (" +
                  (reply ? "reply " + platform::describe(*reply) : std::string("unreadable reply")) + ")");
    finish(OrderState::Unsupported);
  }

  void again(OrderState sofar) {
    if (attempt >= retries.size()) return finish(sofar);
    auto self = shared_from_this();
    platform::RunLoop::main().scheduleTimer(
        platform::Duration(retries[attempt++]), false, [self](platform::Timer&) { self->send(); }, "order query");
  }

  void finish(OrderState state) {
    auto block = std::move(done);
    done = nullptr;
    if (block) block(state);
  }
};

}  // namespace

void OrderStateQuery::ask(const std::optional<std::string>& orderId, std::vector<double> retries, Done done) {
  auto asking = std::make_shared<Asking>();
  asking->orderId = orderId;
  asking->retries = std::move(retries);
  asking->done = std::move(done);
  asking->send();
}

const std::vector<double>& OrderStateQuery::settlingRetries() { return retriesSlot(); }
void OrderStateQuery::setSettlingRetries(std::vector<double> retries) { retriesSlot() = std::move(retries); }

const char* orderStateName(OrderState state) {
  switch (state) {
    case OrderState::Paid: return "paid";
    case OrderState::Unpaid: return "unpaid";
    case OrderState::Unknown: return "unknown";
    case OrderState::Unsupported: return "unsupported";
  }
  return "?";
}

}  // namespace tolba
