// The facade's role reports and payments.
#include "net/TolbaApi.h"
#include "net/log_masking.h"
#include "net/reply_reading.h"
#include "sdk/TolbaSDKCore.h"
#include "sdk/panel_presenter.h"
#include "sdk/sdk_log.h"
#include "sdk/unsettled_orders.h"
#include "tolba/platform/log.h"
#include "tolba/platform/run_loop.h"
#include "tolba/platform/value.h"
#include "ui/TolbaPayView.h"
#include "ui/network_failure_texts.h"

namespace tolba {
namespace {

// The payload key that says more of a failed payment: "unknown" (nobody could
// learn whether it was paid) or "busy" (another payment was in progress).
constexpr char kPayOutcomeKey[] = "outcome";

}  // namespace

void TolbaSDKCore::updateRoleInfoWith(std::shared_ptr<TolbaSDKGameRoleInfo> role, bool isCreate) {
  (void)isCreate;  // creating and updating a role are reported alike
  if (username_.is_null()) {
    logLine("渠道sdk用户已退出，上报没有意义了");
    return;
  }
  if (!role) role = std::make_shared<TolbaSDKGameRoleInfo>();
  TolbaApi::channelUpdateRoleInfo(role, [](const std::optional<Json>& result, const Json&) {
    if (result)
      logLineLazily(
          [&] { return "角色上报结果 = " + platform::describe(maskedReply("sdkmini/User/setRole", *result)); });
  });
  TolbaApi::updateRoleInfo(username_, role, [](const std::optional<Json>& result, const Json&) {
    if (result) {
      logLineLazily(
          [&] { return "角色上报结果2 = " + platform::describe(maskedReply("sdkstandard/role/index", *result)); });
    }
  });
}

std::int32_t TolbaSDKCore::payOrderInfo(std::shared_ptr<TolbaSDKPayOrderInfo> order,
                                        std::shared_ptr<TolbaSDKGameRoleInfo> role) {
  if (!SDKIsInit_) return kTolbaResultNotInitialised;
  if (username_.is_null()) return kTolbaResultNotSignedIn;
  if (!order) order = std::make_shared<TolbaSDKPayOrderInfo>();
  if (!role) role = std::make_shared<TolbaSDKGameRoleInfo>();
  if (!order->sign()) order->setSign(std::string());
  if (!order->productDesc() || order->productDesc()->empty()) {
    order->setProductDesc(std::to_string(order->count()) + platform::describeOrNil(order->productName()));
  }
  auto payment = std::make_shared<TolbaPayment>(TolbaPayment{order, role, std::nullopt});
  if (payment_) {
    // One payment at a time: the player has one pay centre in front of them.
    platform::log("TolbaLog:payOrderInfo while order " + platform::describeOrNil(payment_->order->cpOrderID()) +
                  " is still being paid; " + platform::describeOrNil(order->cpOrderID()) + " is refused as busy");
    Json payload{{kTolbaSDKKeyError, kTolbaResultPayFailed}, {kTolbaSDKKeyMsg, "Pay fail"}, {kPayOutcomeKey, "busy"}};
    if (order->cpOrderID()) payload["cpOrderId"] = *order->cpOrderID();
    sendTolbaPayNoti(std::move(payload));
    return 0;
  }
  if (!PanelPresenter::current().canShowPanels()) {
    platform::log("TolbaLog:payOrderInfo: no key window to show the pay centre in; the payment fails");
    Json payload{{kTolbaSDKKeyError, kTolbaResultPayFailed}, {kTolbaSDKKeyMsg, "Pay fail"}};
    if (order->cpOrderID()) payload["cpOrderId"] = *order->cpOrderID();
    sendTolbaPayNoti(std::move(payload));
    return 0;
  }
  payment_ = payment;
  std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
  TolbaApi::payOrderInfo(
      username_, order, role,
      [weak, payment](const std::optional<Json>& reply, const Json&) {
        if (auto self = weak.lock()) self->orderDidReply(payment, reply);
      },
      [weak, payment](const std::string& why) {
        // No answer: the game hears what an unreadable reply tells it.
        logLine("聚合订单提交 = nil (" + why + ")");
        auto self = weak.lock();
        if (!self) return;
        PanelPresenter::current().showWarning(kNetworkFailedToast);
        self->endPayment(payment, {{kTolbaSDKKeyError, kTolbaResultPayFailed}, {kTolbaSDKKeyMsg, "服务器连接错误"}});
      });
  return 0;
}

void TolbaSDKCore::orderDidReply(const TolbaPaymentPtr& payment, const std::optional<Json>& reply) {
  logLineLazily([&] {
    return "聚合订单提交 = " +
           (reply ? platform::describe(maskedReply("sdkstandard/pay/index", *reply)) : std::string("(null)"));
  });
  const bool accepted = replyStatusIsOne(reply, "a");
  const Json* data = reply ? platform::find(*reply, "c") : nullptr;
  const Json* orderId = data ? platform::find(*data, "orderid") : nullptr;
  if (!reply || (accepted && !platform::isPresent(orderId))) {
    // An accepted order without its number cannot be paid: report it like an unreadable reply.
    if (reply) platform::log("TolbaLog:order reply has no readable \"c\".\"orderid\"; treated as unreadable");
    PanelPresenter::current().showWarning("接口异常");
    endPayment(payment, {{kTolbaSDKKeyError, kTolbaResultPayFailed}, {kTolbaSDKKeyMsg, "服务器连接错误"}});
  } else if (accepted) {
    payment->orderId = platform::describe(*orderId);
    std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
    platform::postToMain(
        [weak, payment] {
          if (auto self = weak.lock()) self->doShowPay(payment);
        },
        "show pay centre");
  } else {
    const auto msg = replyText(*reply, "b");
    PanelPresenter::current().showWarning(msg);
    Json payload{{kTolbaSDKKeyError, kTolbaResultPayFailed}};
    if (msg) payload[kTolbaSDKKeyMsg] = *msg;
    endPayment(payment, std::move(payload));
  }
}

void TolbaSDKCore::doShowPay(const TolbaPaymentPtr& payment) {
  std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
  const bool shown = PanelPresenter::current().showPayPanel(payment->order, payment->role, payment->orderId,
                                                            [weak, payment](const std::optional<Json>& result) {
                                                              if (auto self = weak.lock())
                                                                self->doPayNotiWithResult(payment, result);
                                                            });
  if (!shown) {
    platform::log("TolbaLog:the pay centre could not be shown; order " + platform::describeOrNil(payment->orderId) +
                  " fails unpaid");
    doPayNotiWithResult(payment, Json{{"code", "-1"}});
  }
}

void TolbaSDKCore::doPayNotiWithResult(const TolbaPaymentPtr& payment, const std::optional<Json>& result) {
  Json payload;
  // A pay centre that reports nothing readable has not been paid.
  const auto code = result ? platform::intValue(platform::find(*result, "code")) : -1;
  if (code == 0) {
    payload = {{kTolbaSDKKeyError, kTolbaResultOk}, {kTolbaSDKKeyMsg, "Pay success"}};
  } else if (code == -1) {
    payload = {{kTolbaSDKKeyError, kTolbaResultPayFailed}, {kTolbaSDKKeyMsg, "Pay fail"}};
    const bool unknown = result && platform::stringValue(platform::find(*result, TolbaPayView::kOutcomeKey)) ==
                                       std::optional<std::string>(TolbaPayView::kOutcomeUnknown);
    if (unknown) {
      payload[kPayOutcomeKey] = TolbaPayView::kOutcomeUnknown;
      if (payment->orderId) {
        UnsettledOrders::add(*payment->orderId, platform::describeOrNil(payment->order->cpOrderID()));
      }
    }
  } else {
    payload = {{kTolbaSDKKeyError, kTolbaResultPayCancelled}, {kTolbaSDKKeyMsg, "Pay cancel"}};
  }
  endPayment(payment, std::move(payload));
}

void TolbaSDKCore::endPayment(const TolbaPaymentPtr& payment, Json payload) {
  if (payment->ended) {
    // A late answer for a payment already reported (the order reply after its pay centre ended).
    platform::log("TolbaLog:payment " + platform::describeOrNil(payment->orderId) +
                  " has ended already; a later outcome is not reported");
    return;
  }
  payment->ended = true;
  if (payment->order && payment->order->cpOrderID()) payload["cpOrderId"] = *payment->order->cpOrderID();
  if (payment->orderId) payload["orderId"] = *payment->orderId;
  if (payment_ == payment) payment_.reset();
  sendTolbaPayNoti(std::move(payload));
}

void TolbaSDKCore::settleUnsettledOrders() {
  std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
  UnsettledOrders::askAgain([weak](const std::string& orderId, const std::string& cpOrderId) {
    auto self = weak.lock();
    if (!self) return;
    self->sendTolbaPayNoti({{kTolbaSDKKeyError, kTolbaResultOk},
                            {kTolbaSDKKeyMsg, "Pay success"},
                            {"cpOrderId", cpOrderId},
                            {"orderId", orderId},
                            {"late", "1"}});
  });
}

}  // namespace tolba
