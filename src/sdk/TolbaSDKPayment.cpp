// The facade's role reports and payments.
#include "net/TolbaApi.h"
#include "net/log_masking.h"
#include "sdk/panel_presenter.h"
#include "net/reply_reading.h"
#include "sdk/TolbaSDKCore.h"
#include "sdk/sdk_log.h"
#include "tolba/platform/log.h"
#include "tolba/platform/run_loop.h"
#include "tolba/platform/value.h"
#include "ui/TolbaPayView.h"
#include "ui/network_failure_texts.h"

namespace tolba {
namespace {


// The message of a payment that got no answer: the server may have taken it.
constexpr char kPayOutcomeUnknown[] =
    "Pay result unknown: the network failed; confirm the order with the game server";

}  // namespace

void TolbaSDKCore::updateRoleInfoWith(std::shared_ptr<TolbaSDKGameRoleInfo> role, bool isCreate) {
  (void)isCreate;  // creating and updating a role are reported alike
  if (username_.is_null()) {
    logLine("渠道sdk用户已退出，上报没有意义了");
    return;
  }
  if (!role) role = std::make_shared<TolbaSDKGameRoleInfo>();
  TolbaApi::channelUpdateRoleInfo(role, [](const std::optional<Json>& result, const Json&) {
    if (result) logLineLazily([&] { return "角色上报结果 = " + platform::describe(maskedReply("sdkmini/User/setRole", *result)); });
  });
  TolbaApi::updateRoleInfo(role, [](const std::optional<Json>& result, const Json&) {
    if (result) {
      logLineLazily([&] { return "角色上报结果2 = " + platform::describe(maskedReply("sdkstandard/role/index", *result)); });
    }
  });
}

std::int32_t TolbaSDKCore::payOrderInfo(std::shared_ptr<TolbaSDKPayOrderInfo> order,
                                    std::shared_ptr<TolbaSDKGameRoleInfo> role) {
  if (!SDKIsInit_) return -20;
  if (username_.is_null()) return -301;
  if (!order) order = std::make_shared<TolbaSDKPayOrderInfo>();
  if (!role) role = std::make_shared<TolbaSDKGameRoleInfo>();
  if (!order->sign()) order->setSign(std::string());
  if (!order->productDesc() || order->productDesc()->empty()) {
    order->setProductDesc(std::to_string(order->count()) + platform::describeOrNil(order->productName()));
  }
  orderInfo_ = order;
  roleInfo_ = role;
  std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
  TolbaApi::payOrderInfo(
      order, role,
      [weak, order](const std::optional<Json>& reply, const Json&) {
        if (auto self = weak.lock()) self->orderDidReply(order, reply);
      },
      [weak, order](const std::string& why) {
        // No answer: the game hears what an unreadable reply tells it.
        logLine("聚合订单提交 = nil (" + why + ")");
        auto self = weak.lock();
        if (!self) return;
        PanelPresenter::current().showWarning(kNetworkFailedToast);
        Json payload{{kTolbaSDKKeyError, -400}, {kTolbaSDKKeyMsg, "服务器连接错误"}};
        if (order->cpOrderID()) payload["cpOrderId"] = *order->cpOrderID();
        self->sendTolbaPayNoti(std::move(payload));
      });
  return 0;
}

void TolbaSDKCore::orderDidReply(const std::shared_ptr<TolbaSDKPayOrderInfo>& order, const std::optional<Json>& reply) {
  logLineLazily([&] {
    return "聚合订单提交 = " +
           (reply ? platform::describe(maskedReply("sdkstandard/pay/index", *reply)) : std::string("(null)"));
  });
  Json payload = Json::object();
  const bool accepted = replyStatusIsOne(reply, "a");
  const Json* data = reply ? platform::find(*reply, "c") : nullptr;
  const Json* orderId = data ? platform::find(*data, "orderid") : nullptr;
  if (!reply || (accepted && !platform::isPresent(orderId))) {
    // An accepted order without its number cannot be paid: report it like an unreadable reply.
    if (reply) platform::log("TolbaLog:order reply has no readable \"c\".\"orderid\"; treated as unreadable");
    PanelPresenter::current().showWarning("接口异常");
    payload[kTolbaSDKKeyError] = -400;
    payload[kTolbaSDKKeyMsg] = "服务器连接错误";
  } else if (accepted) {
    orderid_ = platform::describe(*orderId);
    std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
    platform::postToMain([weak] {
      if (auto self = weak.lock()) self->doShowPay();
    }, "show pay centre");
  } else {
    const auto msg = replyText(*reply, "b");
    PanelPresenter::current().showWarning(msg);
    payload[kTolbaSDKKeyError] = -400;
    if (msg) payload[kTolbaSDKKeyMsg] = *msg;
  }
  if (!payload.empty()) {
    if (order && order->cpOrderID()) payload["cpOrderId"] = *order->cpOrderID();
    sendTolbaPayNoti(std::move(payload));
  }
}

void TolbaSDKCore::doShowPay() {
  std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
  PanelPresenter::current().showPayPanel(orderInfo_, roleInfo_, orderid_, [weak](const std::optional<Json>& result) {
    if (auto self = weak.lock()) self->doPayNotiWithResult(result);
  });
}

void TolbaSDKCore::doPayNotiWithResult(const std::optional<Json>& result) {
  Json payload;
  // A pay centre that reports nothing readable has not been paid.
  const auto code = result ? platform::intValue(platform::find(*result, "code")) : -1;
  if (code == 0) {
    payload = {{kTolbaSDKKeyError, 0}, {kTolbaSDKKeyMsg, "Pay success"}};
  } else if (code == -1) {
    const bool unknown = result && platform::stringValue(platform::find(*result, TolbaPayView::kOutcomeKey)) ==
                                       std::optional<std::string>(TolbaPayView::kOutcomeUnknown);
    payload = {{kTolbaSDKKeyError, -400}, {kTolbaSDKKeyMsg, unknown ? kPayOutcomeUnknown : "Pay fail"}};
  } else {
    payload = {{kTolbaSDKKeyError, -401}, {kTolbaSDKKeyMsg, "Pay cancel"}};
  }
  if (orderInfo_ && orderInfo_->cpOrderID()) payload["cpOrderId"] = *orderInfo_->cpOrderID();
  if (orderid_) payload["orderId"] = *orderid_;
  sendTolbaPayNoti(std::move(payload));
}

}  // namespace tolba
