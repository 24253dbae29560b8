#include "ui/pay_centre_flow.h"

#include "net/TolbaApi.h"
#include "net/order_state_query.h"
#include "net/reply_reading.h"
#include "tolba/build_settings.h"
#include "tolba/platform/log.h"
#include "tolba/platform/value.h"
#include "toolkit/application.h"
#include "ui/TolbaMsg.h"
#include "ui/network_failure_texts.h"

namespace tolba {

using nlohmann::json;

namespace {

double gPaymentPageTimeout = 60;

// The server's message "c" when it is a text; anything else shows nothing.
std::optional<std::string> messageOf(const std::optional<json>& reply) {
  return reply ? platform::stringValue(platform::find(*reply, "c")) : std::nullopt;
}

// The payment page of an accepted WeChat order, or nullopt when the order was
// refused or its page address cannot be read.
std::optional<std::string> paymentPageOf(const std::optional<json>& reply) {
  if (!replyStatusIsOne(reply, "z")) return std::nullopt;
  auto page = platform::stringValue(platform::find(*reply, "b"));
  if (!page || page->empty()) {
    platform::log("TolbaLog:WeChat order reply has no readable \"b\"; treated as refused");
    return std::nullopt;
  }
  return page;
}

}  // namespace

void PayCentreFlow::setPaymentPageTimeout(double seconds) { gPaymentPageTimeout = seconds; }
double PayCentreFlow::paymentPageTimeout() { return gPaymentPageTimeout; }

void PayCentreFlow::payWithCoins() {
  if (stage_ != Stage::Choosing) return;
  stage_ = Stage::PayingWithCoins;
  if (auto screen = screen_.lock()) screen->showCover(std::nullopt);
  std::weak_ptr<PayCentreFlow> weak = shared_from_this();
  TolbaApi::channelPayOrderInfo(
      orderInfo_, roleInfo_, myOrderId_,
      [weak](const std::optional<json>& reply, const json&) {
        // The server's message is shown even when the pay centre is gone.
        TolbaMsg::showMessage(messageOf(reply));
        if (auto flow = weak.lock()) flow->coinPayDidReply(reply);
      },
      [weak](const std::string& why) {
        auto flow = weak.lock();
        if (!flow || flow->stage_ != Stage::PayingWithCoins) return;
        platform::log("TolbaLog:coin payment got no answer (" + why + "); asking the server about the order");
        flow->confirmWithServer(false, true);
      });
}

void PayCentreFlow::coinPayDidReply(const std::optional<json>& reply) {
  if (stage_ != Stage::PayingWithCoins) return;
  if (!reply) {
    // The coins may have been taken: the server says whether they were.
    platform::log("TolbaLog:coin payment reply unreadable; asking the server about the order");
    return confirmWithServer(false, false);
  }
  finish(replyStatusIsOne(reply, "z") ? "0" : "-1");
}

void PayCentreFlow::confirmWithServer(bool weChat, bool lostInTransport) {
  stage_ = Stage::Confirming;
  if (auto screen = screen_.lock()) screen->showCover(std::string("正在确认支付结果..."));
  std::weak_ptr<PayCentreFlow> weak = shared_from_this();
  OrderStateQuery::ask(
      myOrderId_, OrderStateQuery::settlingRetries(), [weak, weChat, lostInTransport](OrderState state) {
        auto flow = weak.lock();
        if (!flow || flow->stage_ != Stage::Confirming) return;
        platform::log(std::string("TolbaLog:") + (weChat ? "WeChat" : "coin") + " payment of order " +
                      platform::describeOrNil(flow->myOrderId_) + ": the server says " + orderStateName(state));
        switch (state) {
          case OrderState::Paid: return flow->finish("0");
          case OrderState::Unpaid: return flow->finish(weChat ? "-2" : "-1");
          case OrderState::Unknown: TolbaMsg::showMessage(kPaymentNetworkFailedToast); return flow->finish("-1", true);
          case OrderState::Unsupported:
            if (weChat) {
              platform::log("TolbaLog:without an answer from the server, the return from WeChat counts as paid");
              return flow->finish("0");
            }
            // As before the server could be asked: a lost reply leaves the outcome unknown.
            if (lostInTransport) TolbaMsg::showMessage(kPaymentNetworkFailedToast);
            return flow->finish("-1", lostInTransport);
        }
      });
}

void PayCentreFlow::payWithWeChat() {
  if (stage_ != Stage::Choosing) return;
  stage_ = Stage::OrderingWeChat;
  if (auto screen = screen_.lock()) screen->showCover(std::nullopt);
  std::weak_ptr<PayCentreFlow> weak = shared_from_this();
  TolbaApi::channelWxPayWithPayOrderInfo(
      orderInfo_, roleInfo_, myOrderId_,
      [weak](const std::optional<json>& reply, const json&) {
        auto flow = weak.lock();
        const auto page = paymentPageOf(reply);
        if (!page) TolbaMsg::showMessage(messageOf(reply));
        if (!flow || flow->stage_ == Stage::Closed) return;
        if (page) {
          flow->stage_ = Stage::LoadingPaymentPage;
          flow->loadPaymentPage(*page);
        } else {
          flow->finish("-1");
        }
      },
      [weak](const std::string& why) {
        if (auto flow = weak.lock()) flow->paymentGotNoAnswer("WeChat order: " + why);
      });
}

void PayCentreFlow::paymentGotNoAnswer(const std::string& why) {
  if (stage_ == Stage::Closed) return;
  platform::log("TolbaLog:payment got no answer (" + why + "); its outcome is unknown");
  TolbaMsg::showMessage(kPaymentNetworkFailedToast);
  finish("-1", true);
}

void PayCentreFlow::loadPaymentPage(const std::string& url) {
  platform::URLRequest request(url, gPaymentPageTimeout);
  request.addValue(build::kApiOrigin, "Referer");
  auto screen = screen_.lock();
  if (!screen) return;
  if (stage_ == Stage::LoadingPaymentPage) {
    // A page that neither fails nor hands over to WeChat must not keep the
    // player under the cover for ever.
    std::weak_ptr<PayCentreFlow> weak = shared_from_this();
    if (pageTimer_) pageTimer_->invalidate();
    pageTimer_ = platform::RunLoop::main().scheduleTimer(
        platform::Duration(gPaymentPageTimeout), false, [weak](platform::Timer&) {
          auto flow = weak.lock();
          if (flow && flow->stage_ == Stage::LoadingPaymentPage) {
            flow->paymentGotNoAnswer("the payment page did not hand over to WeChat in time");
          }
        });
  }
  screen->loadPaymentPage(std::move(request));
}

void PayCentreFlow::pageFailed(const std::string& error) {
  if (stage_ != Stage::LoadingPaymentPage) return;
  paymentGotNoAnswer("the payment page did not load: " + error);
}

void PayCentreFlow::weChatOpened(bool opened) {
  if (stage_ != Stage::LoadingPaymentPage) return;
  if (pageTimer_) pageTimer_->invalidate();
  pageTimer_.reset();
  if (opened) {
    stage_ = Stage::WaitingForWeChat;  // the player's return now ends the payment
    return;
  }
  // WeChat is not there: nothing can have been paid.
  TolbaMsg::showMessage(kWeChatNotOpenedToast);
  finish("-1");
}

void PayCentreFlow::returnedToForeground() {
  // Only a player handed over to WeChat ends the payment by coming back, and
  // then the server says how it ended; at any other moment (choosing, ordering,
  // the page still loading) a return from the home screen says nothing about a
  // payment.
  if (stage_ != Stage::WaitingForWeChat) return;
  confirmWithServer(true, false);
}

void PayCentreFlow::cancel() {
  if (stage_ == Stage::Closed) return;
  finish("-2");
}

void PayCentreFlow::finish(const char* code, bool outcomeUnknown) {
  auto keep = shared_from_this();  // the result's block may let go of the last owner
  // Once: a block that ends the payment again from inside itself reports nothing more.
  if (!reported_) {
    reported_ = true;
    if (completionBlock_) {
      json result{{"code", code}};
      if (outcomeUnknown) result[kOutcomeKey] = kOutcomeUnknown;
      const CompletionBlock block = completionBlock_;  // the block may replace itself
      block(result);
    }
  }
  end();
}

void PayCentreFlow::end() {
  if (stage_ == Stage::Closed) return;
  stage_ = Stage::Closed;
  if (pageTimer_) pageTimer_->invalidate();
  pageTimer_.reset();
  if (auto screen = screen_.lock()) screen->closeLater();
}

}  // namespace tolba
