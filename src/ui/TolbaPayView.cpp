#include "ui/TolbaPayView.h"
#include "net/reply_reading.h"
#include "ui/panel_controls.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>

#include "model/TolbaSDKGameConfig.h"
#include "net/TolbaApi.h"
#include "net/order_state_query.h"
#include "tolba/build_settings.h"
#include "tolba/platform/log.h"
#include "tolba/platform/run_loop.h"
#include "tolba/platform/value.h"
#include "toolkit/application.h"
#include "toolkit/color.h"
#include "toolkit/font.h"
#include "toolkit/window.h"
#include "ui/TolbaMsg.h"
#include "ui/network_failure_texts.h"

namespace tolba {

using nlohmann::json;
using platform::Color;
using platform::Font;
using platform::FontWeight;
using platform::Rect;

namespace {

constexpr Rect kWxFrame{10, 245, 135, 45};
constexpr Rect kPtbFrameAlone{10, 245, 280, 45};
constexpr Rect kPtbFrameBesideWx{155, 245, 135, 45};

const Color kBackdrop{0, 0, 0, 0.2};

double gPaymentPageTimeout = 60;

// A balance as the platform's single-precision reading gives it: values past the
// float range become infinities rather than an undefined conversion.
float singlePrecision(double value) {
  if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
  if (value > FLT_MAX) return std::numeric_limits<float>::infinity();
  if (value < -FLT_MAX) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

std::string balanceText(float balance) {
  char digits[64];
  std::snprintf(digits, sizeof digits, "%.2f", static_cast<double>(balance));
  return std::string("平台币余额：") + digits;
}

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

std::shared_ptr<TolbaPayView> TolbaPayView::present(std::shared_ptr<TolbaSDKPayOrderInfo> order,
                                                    std::shared_ptr<TolbaSDKGameRoleInfo> role,
                                                    std::optional<std::string> myOrderId, CompletionBlock completion) {
  return presentInKeyWindow<TolbaPayView>("pay centre", [&](TolbaPayView& panel) {
    panel.setOrderInfo(std::move(order));
    panel.setRoleInfo(std::move(role));
    panel.setMyOrderId(std::move(myOrderId));
    panel.setCompletionBlock(std::move(completion));
  });
}

void TolbaPayView::setPaymentPageTimeout(double seconds) { gPaymentPageTimeout = seconds; }
double TolbaPayView::paymentPageTimeout() { return gPaymentPageTimeout; }

std::shared_ptr<TolbaPayView> TolbaPayView::self() {
  return std::static_pointer_cast<TolbaPayView>(shared_from_this());
}

void TolbaPayView::initSubContentViews() {
  TolbaBaseView::initSubContentViews();
  if (orderInfo_) applyOrderTexts();
  applyBalance();
  // A payment under way keeps its cover: the close button must stay out of reach.
  if (stage_ != Stage::Choosing && stage_ != Stage::Closed) showCover();
}

void TolbaPayView::fillContentBox() {
  setBackgroundColor(kBackdrop);
  auto box = subContentView();
  box->setBackgroundColor(Color::whiteColor());
  std::weak_ptr<TolbaPayView> weak = self();

  // One registration for the panel's lifetime, however often the box is rebuilt,
  // so that one return to the foreground is heard once.
  if (!foregroundObserver_.active()) {
    auto& center = platform::NotificationCenter::defaultCenter();
    foregroundObserver_ =
        platform::ScopedObserver(center, center.addObserver(platform::kApplicationDidBecomeActiveNotification, nullptr,
                                                            [weak](const platform::Notification&) {
                                                              if (auto panel = weak.lock()) panel->goBack();
                                                            }));
  }

  auto title = makePanelLabel({0, 0, 300, 40}, "支付中心", 20);
  title->setFont(Font::systemFont(20, FontWeight::Medium));
  title->setTextAlignment(platform::TextAlignment::Center);
  box->addSubview(title);

  auto close = std::make_shared<platform::Button>(Rect{250, 8, 40, 25});
  close->setTitle("关闭");
  close->setTitleColor(Color::blackColor());
  close->setTitleFont(Font::systemFont(12));
  close->addTarget(platform::ControlEvent::TouchUpInside, [weak](platform::Control&) {
    if (auto panel = weak.lock()) panel->doCancel();
  });
  box->addSubview(close);
  closeBtn_ = close;

  auto hint = makePanelLabel({10, 40, 280, 20}, "如果平台币余额不足，请先充值平台币", 16);
  hint->setTextAlignment(platform::TextAlignment::Center);
  hint->setNumberOfLines(0);
  box->addSubview(hint);

  auto name = makePanelLabel({10, 70, 200, 20}, "商品名", 14);
  box->addSubview(name);
  nameL_ = name;
  auto price = makePanelLabel({10, 90, 200, 20}, "商品名", 14);
  box->addSubview(price);
  priceL_ = price;
  auto balance = makePanelLabel({10, 110, 200, 20}, "平台币余额：0", 14);
  box->addSubview(balance);
  ptbL_ = balance;

  auto wx = makePanelButton(kWxFrame, "微信支付", 15);
  wx->setHidden(true);
  wx->addTarget(platform::ControlEvent::TouchUpInside, [weak](platform::Control&) {
    if (auto panel = weak.lock()) panel->doWxPay();
  });
  box->addSubview(wx);
  wxBtn_ = wx;

  auto ptb = makePanelButton(kPtbFrameAlone, "平台币支付", 15);
  ptb->addTarget(platform::ControlEvent::TouchUpInside, [weak](platform::Control&) {
    if (auto panel = weak.lock()) panel->doPtbPay();
  });
  box->addSubview(ptb);
  ptbBtn_ = ptb;

  // The page of a WeChat payment in progress moves to the new box; otherwise a
  // new, empty web view.
  auto web = paymentPage_ ? paymentPage_ : std::make_shared<platform::WebView>(Rect{0, 0, 0, 0});
  web->setPlainHttpAllowed(TolbaSDKGameConfig::getAllowPlainHttp());
  web->setBackgroundColor(Color::whiteColor());
  web->setNavigationDelegate(std::weak_ptr<platform::WebViewNavigationDelegate>(self()));
  box->addSubview(web);
  webView_ = web;

  loadData();
}

void TolbaPayView::loadData() {
  std::weak_ptr<TolbaPayView> weak = self();
  TolbaApi::channelCheckMoneyBlock([weak](const std::optional<json>& reply, const json&) {
    if (auto panel = weak.lock()) panel->balanceDidReply(reply);
  });
}

void TolbaPayView::balanceDidReply(const std::optional<json>& reply) {
  if (!reply) return;  // nothing readable: the panel keeps what it showed
  // "wx" 1 offers WeChat H5 beside the coins; the last readable reply decides.
  weChatOffered_ = platform::intValue(platform::find(*reply, "wx")) == 1;
  if (replyStatusIsOne(reply, "code")) balance_ = singlePrecision(platform::doubleValue(platform::find(*reply, "ttb")));
  applyBalance();
}

void TolbaPayView::applyBalance() {
  if (auto line = ptbL(); line && balance_) line->setText(balanceText(*balance_));
  auto wx = wxBtn();
  auto ptb = ptbBtn();
  if (wx) wx->setHidden(!weChatOffered_);
  if (ptb) ptb->setFrame(weChatOffered_ ? kPtbFrameBesideWx : kPtbFrameAlone);
}

void TolbaPayView::setOrderInfo(std::shared_ptr<TolbaSDKPayOrderInfo> order) {
  orderInfo_ = std::move(order);
  applyOrderTexts();
}

void TolbaPayView::applyOrderTexts() {
  const auto productName = orderInfo_ ? orderInfo_->productName() : std::nullopt;
  const std::string amount = platform::floatText(orderInfo_ ? orderInfo_->amount() : 0.0f);
  if (auto line = nameL()) line->setText("商品名：" + platform::describeOrNil(productName));
  if (auto line = priceL()) line->setText("价格：" + amount + "元");
  if (auto button = wxBtn()) button->setTitle("微信支付(" + amount + "元)");
  if (auto button = ptbBtn()) button->setTitle("支付" + amount + "平台币");
}

const std::shared_ptr<platform::View>& TolbaPayView::coverView() {
  if (!coverView_) {
    const Rect bounds = subContentView() ? subContentView()->bounds() : Rect{0, 0, 300, 300};
    coverView_ = std::make_shared<platform::View>(bounds);
    coverView_->setBackgroundColor(kBackdrop);
    auto label = std::make_shared<platform::Label>(bounds);
    label->setText("支付中...");
    label->setTextColor(Color::whiteColor());
    label->setFont(Font::systemFont(20, FontWeight::Medium));
    label->setTextAlignment(platform::TextAlignment::Center);
    coverView_->addSubview(label);
    coverLabel_ = label;
  }
  return coverView_;
}

void TolbaPayView::showCover() {
  if (auto box = subContentView()) box->addSubview(coverView());
}

void TolbaPayView::doPtbPay() {
  if (stage_ != Stage::Choosing) return;
  stage_ = Stage::PayingWithCoins;
  showCover();
  std::weak_ptr<TolbaPayView> weak = self();
  TolbaApi::channelPayOrderInfo(
      orderInfo_, roleInfo_, myOrderId_,
      [weak](const std::optional<json>& reply, const json&) {
        // The server's message is shown even when the panel is gone.
        TolbaMsg::showMessage(messageOf(reply));
        if (auto panel = weak.lock()) panel->coinPayDidReply(reply);
      },
      [weak](const std::string& why) {
        auto panel = weak.lock();
        if (!panel || panel->stage_ != Stage::PayingWithCoins) return;
        platform::log("TolbaLog:coin payment got no answer (" + why + "); asking the server about the order");
        panel->confirmWithServer(false, true);
      });
}

void TolbaPayView::coinPayDidReply(const std::optional<json>& reply) {
  if (stage_ != Stage::PayingWithCoins) return;
  if (!reply) {
    // The coins may have been taken: the server says whether they were.
    platform::log("TolbaLog:coin payment reply unreadable; asking the server about the order");
    return confirmWithServer(false, false);
  }
  auto keep = self();
  report(replyStatusIsOne(reply, "z") ? "0" : "-1");
  doClear();
}

void TolbaPayView::confirmWithServer(bool weChat, bool lostInTransport) {
  stage_ = Stage::Confirming;
  showCover();
  if (auto label = coverLabel_.lock()) label->setText("正在确认支付结果...");
  std::weak_ptr<TolbaPayView> weak = self();
  OrderStateQuery::ask(
      myOrderId_, OrderStateQuery::settlingRetries(), [weak, weChat, lostInTransport](OrderState state) {
        auto panel = weak.lock();
        if (!panel || panel->stage_ != Stage::Confirming) return;
        platform::log(std::string("TolbaLog:") + (weChat ? "WeChat" : "coin") + " payment of order " +
                      platform::describeOrNil(panel->myOrderId_) + ": the server says " + orderStateName(state));
        switch (state) {
          case OrderState::Paid: panel->report("0"); break;
          case OrderState::Unpaid: panel->report(weChat ? "-2" : "-1"); break;
          case OrderState::Unknown:
            TolbaMsg::showMessage(kPaymentNetworkFailedToast);
            panel->report("-1", true);
            break;
          case OrderState::Unsupported:
            if (weChat) {
              platform::log("TolbaLog:without an answer from the server, the return from WeChat counts as paid");
              panel->report("0");
            } else {
              // As before the server could be asked: a lost reply leaves the outcome unknown.
              if (lostInTransport) TolbaMsg::showMessage(kPaymentNetworkFailedToast);
              panel->report("-1", lostInTransport);
            }
            break;
        }
        panel->doClear();
      });
}

void TolbaPayView::doWxPay() {
  if (stage_ != Stage::Choosing) return;
  stage_ = Stage::OrderingWeChat;
  showCover();
  std::weak_ptr<TolbaPayView> weak = self();
  TolbaApi::channelWxPayWithPayOrderInfo(
      orderInfo_, roleInfo_, myOrderId_,
      [weak](const std::optional<json>& reply, const json&) {
        auto panel = weak.lock();
        const auto page = paymentPageOf(reply);
        if (!page) TolbaMsg::showMessage(messageOf(reply));
        if (!panel || panel->stage_ == Stage::Closed) return;
        if (page) {
          panel->stage_ = Stage::LoadingPaymentPage;
          panel->doWxPayUrl(*page);
        } else {
          panel->weChatOrderFailed();
        }
      },
      [weak](const std::string& why) {
        if (auto panel = weak.lock()) panel->paymentGotNoAnswer("WeChat order: " + why);
      });
}

void TolbaPayView::paymentGotNoAnswer(const std::string& why) {
  if (stage_ == Stage::Closed) return;
  platform::log("TolbaLog:payment got no answer (" + why + "); its outcome is unknown");
  TolbaMsg::showMessage(kPaymentNetworkFailedToast);
  auto keep = self();
  report("-1", true);
  doClear();
}

void TolbaPayView::weChatOrderFailed() {
  auto keep = self();
  report("-1");
  doClear();
}

void TolbaPayView::doWxPayUrl(const std::string& url) {
  platform::URLRequest request(url, gPaymentPageTimeout);
  request.addValue(build::kApiOrigin, "Referer");
  auto web = webView();
  if (!web) return;
  paymentPage_ = web;  // kept across rotations until the panel closes
  if (stage_ == Stage::LoadingPaymentPage) {
    // A page that neither fails nor hands over to WeChat must not keep the
    // player under the cover for ever.
    std::weak_ptr<TolbaPayView> weak = self();
    if (pageTimer_) pageTimer_->invalidate();
    pageTimer_ = platform::RunLoop::main().scheduleTimer(
        platform::Duration(gPaymentPageTimeout), false, [weak](platform::Timer&) {
          auto panel = weak.lock();
          if (panel && panel->stage_ == Stage::LoadingPaymentPage) {
            panel->paymentGotNoAnswer("the payment page did not hand over to WeChat in time");
          }
        });
  }
  web->loadRequest(std::move(request));
}

void TolbaPayView::didFailNavigation(platform::WebView&, const std::string& error) {
  if (stage_ != Stage::LoadingPaymentPage) return;
  paymentGotNoAnswer("the payment page did not load: " + error);
}

void TolbaPayView::weChatOpened(bool opened) {
  if (stage_ != Stage::LoadingPaymentPage) return;
  if (pageTimer_) pageTimer_->invalidate();
  pageTimer_.reset();
  if (opened) {
    stage_ = Stage::WaitingForWeChat;  // the player's return now ends the payment
    return;
  }
  // WeChat is not there: nothing can have been paid.
  TolbaMsg::showMessage(kWeChatNotOpenedToast);
  auto keep = self();
  report("-1");
  doClear();
}

void TolbaPayView::decidePolicyForNavigationAction(
    platform::WebView&, const platform::NavigationAction& action,
    std::function<void(platform::NavigationActionPolicy)> decisionHandler) {
  const std::string& address = action.request.url;
  if (address.find("weixin://") != std::string::npos) {
    std::weak_ptr<TolbaPayView> weak = self();
    platform::Application::shared().openURL(address, json::object(), [weak](bool opened) {
      platform::log("成功");
      if (auto panel = weak.lock()) panel->weChatOpened(opened);
    });
    decisionHandler(platform::NavigationActionPolicy::Cancel);
    return;
  }
  decisionHandler(platform::NavigationActionPolicy::Allow);
}

void TolbaPayView::goBack() {
  // Only a player handed over to WeChat ends the payment by coming back, and
  // then the server says how it ended; at any other moment (choosing, ordering,
  // the page still loading) a return from the home screen says nothing about a
  // payment.
  if (stage_ != Stage::WaitingForWeChat) return;
  confirmWithServer(true, false);
}

void TolbaPayView::doCancel() {
  if (stage_ == Stage::Closed) return;
  auto keep = self();
  report("-2");
  doClear();
}

void TolbaPayView::report(const char* code, bool outcomeUnknown) {
  if (reported_) return;
  reported_ = true;
  if (!completionBlock_) return;
  json result{{"code", code}};
  if (outcomeUnknown) result[kOutcomeKey] = kOutcomeUnknown;
  const CompletionBlock block = completionBlock_;  // the block may replace itself
  block(result);
}

void TolbaPayView::doClear() {
  if (stage_ == Stage::Closed) return;
  stage_ = Stage::Closed;
  if (pageTimer_) pageTimer_->invalidate();
  pageTimer_.reset();
  auto panel = self();
  platform::postToMain(
      [panel] {
        if (panel->coverView_) panel->coverView_->removeFromSuperview();
        panel->paymentPage_.reset();
        panel->removeFromSuperview();
      },
      "close pay centre");
}

}  // namespace tolba
