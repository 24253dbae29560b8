#include "ui/TolbaPayView.h"
#include "net/reply_reading.h"
#include "ui/panel_controls.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>

#include "model/TolbaSDKGameConfig.h"
#include "net/TolbaApi.h"
#include "tolba/platform/log.h"
#include "tolba/platform/run_loop.h"
#include "tolba/platform/value.h"
#include "toolkit/application.h"
#include "toolkit/color.h"
#include "toolkit/font.h"

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

std::shared_ptr<TolbaPayView> TolbaPayView::self() {
  return std::static_pointer_cast<TolbaPayView>(shared_from_this());
}

const std::shared_ptr<PayCentreFlow>& TolbaPayView::flow() const {
  if (!flow_) {
    auto me = std::const_pointer_cast<TolbaPayView>(std::static_pointer_cast<const TolbaPayView>(shared_from_this()));
    flow_ = std::make_shared<PayCentreFlow>(std::weak_ptr<PayCentreScreen>(me));
  }
  return flow_;
}

void TolbaPayView::initSubContentViews() {
  TolbaBaseView::initSubContentViews();
  if (orderInfo()) applyOrderTexts();
  applyBalance();
  // A payment under way keeps its cover: the close button must stay out of reach.
  if (flow()->paying()) showCover(std::nullopt);
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
  flow()->setOrderInfo(std::move(order));
  applyOrderTexts();
}

void TolbaPayView::applyOrderTexts() {
  const auto& order = orderInfo();
  const auto productName = order ? order->productName() : std::nullopt;
  const std::string amount = platform::floatText(order ? order->amount() : 0.0f);
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

void TolbaPayView::showCover(const std::optional<std::string>& text) {
  if (auto box = subContentView()) box->addSubview(coverView());
  if (auto label = coverLabel_.lock(); label && text) label->setText(*text);
}

bool TolbaPayView::loadPaymentPage(platform::URLRequest request) {
  auto web = webView();
  if (!web) return false;
  paymentPage_ = web;  // kept across rotations until the panel closes
  web->loadRequest(std::move(request));
  return true;
}

void TolbaPayView::closeLater() {
  auto panel = self();
  platform::postToMain(
      [panel] {
        if (panel->coverView_) panel->coverView_->removeFromSuperview();
        panel->paymentPage_.reset();
        panel->removeFromSuperview();
      },
      "close pay centre");
}

void TolbaPayView::didFailNavigation(platform::WebView&, const std::string& error) { flow()->pageFailed(error); }

void TolbaPayView::decidePolicyForNavigationAction(
    platform::WebView&, const platform::NavigationAction& action,
    std::function<void(platform::NavigationActionPolicy)> decisionHandler) {
  const std::string& address = action.request.url;
  if (address.find("weixin://") != std::string::npos) {
    std::weak_ptr<PayCentreFlow> weak = flow();
    platform::Application::shared().openURL(address, json::object(), [weak](bool opened) {
      platform::log("成功");
      if (auto payment = weak.lock()) payment->weChatOpened(opened);
    });
    decisionHandler(platform::NavigationActionPolicy::Cancel);
    return;
  }
  decisionHandler(platform::NavigationActionPolicy::Allow);
}

}  // namespace tolba
