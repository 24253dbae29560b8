#pragma once
// A payment in the pay centre, apart from the panel that shows it: the player's
// choice (platform coins or WeChat H5), the requests, the payment page and its
// time-out, the hand-over to WeChat and the return from it, the server's word on
// the order, and the one result. The panel shows what the flow asks of it
// (PayCentreScreen); tests drive the flow with a stand-in screen.
//
// Every wait ends: a payment request ends with its reply or its transport
// failure, a payment page with the hand-off to WeChat, its load failing or the
// page time-out, a question about the order with its last retry. Main thread.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tolba/TolbaSDKGameRoleInfo.h"
#include "tolba/TolbaSDKPayOrderInfo.h"
#include "tolba/platform/run_loop.h"
#include "toolkit/web_view.h"

namespace tolba {

// What a payment asks of whatever shows it.
class PayCentreScreen {
 public:
  virtual ~PayCentreScreen() = default;
  // The "支付中..." cover over the controls; `text` replaces its words when given.
  virtual void showCover(const std::optional<std::string>& text) = 0;
  // Loads the payment page; false when there is nowhere to show it.
  virtual bool loadPaymentPage(platform::URLRequest request) = 0;
  // The payment has ended: the screen goes, on a later turn of the main run loop.
  virtual void closeLater() = 0;
};

class PayCentreFlow : public std::enable_shared_from_this<PayCentreFlow> {
 public:
  using CompletionBlock = std::function<void(const nlohmann::json& result)>;

  // Where a payment is. The return to the foreground counts only in
  // WaitingForWeChat, once the "weixin://" address was opened.
  enum class Stage {
    Choosing,
    PayingWithCoins,
    OrderingWeChat,
    LoadingPaymentPage,
    WaitingForWeChat,
    Confirming,  // asking the server what became of the order
    Closed
  };

  // The result entry that marks a payment whose outcome is unknown.
  static constexpr char kOutcomeKey[] = "outcome";
  static constexpr char kOutcomeUnknown[] = "unknown";

  // How long the payment page may take to hand over to WeChat (and its fetch to
  // load), in seconds: 60 unless set.
  static void setPaymentPageTimeout(double seconds);
  static double paymentPageTimeout();

  explicit PayCentreFlow(std::weak_ptr<PayCentreScreen> screen) : screen_(std::move(screen)) {}

  const CompletionBlock& completionBlock() const { return completionBlock_; }
  void setCompletionBlock(CompletionBlock block) { completionBlock_ = std::move(block); }
  const std::shared_ptr<TolbaSDKPayOrderInfo>& orderInfo() const { return orderInfo_; }
  void setOrderInfo(std::shared_ptr<TolbaSDKPayOrderInfo> order) { orderInfo_ = std::move(order); }
  const std::shared_ptr<TolbaSDKGameRoleInfo>& roleInfo() const { return roleInfo_; }
  void setRoleInfo(std::shared_ptr<TolbaSDKGameRoleInfo> role) { roleInfo_ = std::move(role); }
  const std::optional<std::string>& myOrderId() const { return myOrderId_; }
  void setMyOrderId(std::optional<std::string> orderId) { myOrderId_ = std::move(orderId); }

  Stage stage() const { return stage_; }
  // A payment is under way (its cover stays up through a rebuild).
  bool paying() const { return stage_ != Stage::Choosing && stage_ != Stage::Closed; }

  // Platform coins: one request settles it.
  void payWithCoins();
  // WeChat H5: order the payment page, then load it.
  void payWithWeChat();
  void loadPaymentPage(const std::string& url);
  // The payment page did not load: the payment ends, outcome unknown.
  void pageFailed(const std::string& error);
  // The "weixin://" address was handed to the application: opened or not.
  void weChatOpened(bool opened);
  // The application came back to the foreground.
  void returnedToForeground();
  // The player closed the pay centre.
  void cancel();
  // Ends the payment (once) and lets the screen go.
  void end();

 private:
  void coinPayDidReply(const std::optional<nlohmann::json>& reply);
  // A payment request or page that got no answer: toast, "-1" with the unknown
  // outcome, end.
  void paymentGotNoAnswer(const std::string& why);
  // Asks the server about the order and reports what it says; `weChat` tells
  // which payment is being settled, `lostInTransport` that a coin payment got
  // no answer at all (rather than an unreadable one).
  void confirmWithServer(bool weChat, bool lostInTransport);
  // Calls the completion block with {"code": code} (and the unknown outcome when
  // asked) unless a result was given already, then ends the payment.
  void finish(const char* code, bool outcomeUnknown = false);

  std::weak_ptr<PayCentreScreen> screen_;
  CompletionBlock completionBlock_;
  std::shared_ptr<TolbaSDKPayOrderInfo> orderInfo_;
  std::shared_ptr<TolbaSDKGameRoleInfo> roleInfo_;
  std::optional<std::string> myOrderId_;
  // Ends a payment page that has not handed over to WeChat in time.
  std::shared_ptr<platform::Timer> pageTimer_;
  Stage stage_ = Stage::Choosing;
  bool reported_ = false;
};

}  // namespace tolba
