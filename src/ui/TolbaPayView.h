#pragma once
// The pay centre ("支付中心"): the product, its price and the player's balance of
// platform coins, with two ways to pay: platform coins (one channel request) or
// WeChat H5 (the channel server names a payment page, loaded in an invisible web
// view, which hands over to the WeChat application through a "weixin://"
// address; the application's return to the foreground ends the payment).
//
// The panel reports once through completionBlock with {"code": "0"} (paid),
// {"code": "-1"} (failed) or {"code": "-2"} (closed by the player), then closes
// itself on a later turn of the main run loop. A payment that got no answer (its
// request failed in transport, or its page never handed over to WeChat) reports
// {"code": "-1", "outcome": "unknown"}: the server may have taken the payment.
//
// The server settles a payment, not the client: when the player comes back from
// WeChat, or a coin payment's reply is lost or unreadable, the panel covers
// itself with "正在确认支付结果..." and asks the server what became of the order
// (OrderStateQuery): "paid" is "0"; a WeChat order still unpaid after the
// question's retries is "-2" (cancelled in WeChat), a coin order "-1"; no answer
// at all is "-1" with the unknown outcome. A server that does not answer the
// question keeps the older rule: a return from WeChat counts as paid.
//
// The payment itself is a PayCentreFlow (ui/pay_centre_flow.h), which the panel
// owns and shows: the panel is its PayCentreScreen (cover, payment page,
// closing) and hands it the player's taps, the page's events and the return to
// the foreground.
//
// present() makes it (building the controls and asking for the balance), sets
// the order, the role, the order number and the completion block, and adds the
// panel to the key window, which owns it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tolba/TolbaSDKGameRoleInfo.h"
#include "tolba/TolbaSDKPayOrderInfo.h"
#include "tolba/platform/notification_center.h"
#include "tolba/platform/run_loop.h"
#include "toolkit/button.h"
#include "toolkit/label.h"
#include "toolkit/web_view.h"
#include "ui/TolbaBaseView.h"
#include "ui/pay_centre_flow.h"

namespace tolba {

class TolbaPayView : public TolbaBaseView, public platform::WebViewNavigationDelegate, public PayCentreScreen {
 public:
  using CompletionBlock = std::function<void(const nlohmann::json& result)>;

  using Stage = PayCentreFlow::Stage;
  static constexpr const char* kOutcomeKey = PayCentreFlow::kOutcomeKey;
  static constexpr const char* kOutcomeUnknown = PayCentreFlow::kOutcomeUnknown;

  // PayCentreFlow's (60 s unless set).
  static void setPaymentPageTimeout(double seconds) { PayCentreFlow::setPaymentPageTimeout(seconds); }
  static double paymentPageTimeout() { return PayCentreFlow::paymentPageTimeout(); }

  // Creates the panel over the application's screen, gives it the order, role,
  // order number and completion, and adds it to the key window. Null (and no
  // panel) when there is no key window.
  static std::shared_ptr<TolbaPayView> present(std::shared_ptr<TolbaSDKPayOrderInfo> order,
                                               std::shared_ptr<TolbaSDKGameRoleInfo> role,
                                               std::optional<std::string> myOrderId, CompletionBlock completion);

  // After a rotation: the controls again in the new box, then the order's texts,
  // the last known balance and, during a payment, the cover and the web view
  // that carries the payment page.
  void initSubContentViews() override;
  // Colours the backdrop, starts listening for the foreground (once per panel),
  // builds the controls and asks for the balance.
  void fillContentBox() override;
  // Asks the channel server for the balance.
  void loadData();

  const CompletionBlock& completionBlock() const { return flow()->completionBlock(); }
  void setCompletionBlock(CompletionBlock block) { flow()->setCompletionBlock(std::move(block)); }
  const std::shared_ptr<TolbaSDKPayOrderInfo>& orderInfo() const { return flow()->orderInfo(); }
  // Stores the order and fills the product, price and button texts.
  void setOrderInfo(std::shared_ptr<TolbaSDKPayOrderInfo> order);
  const std::shared_ptr<TolbaSDKGameRoleInfo>& roleInfo() const { return flow()->roleInfo(); }
  void setRoleInfo(std::shared_ptr<TolbaSDKGameRoleInfo> role) { flow()->setRoleInfo(std::move(role)); }
  const std::optional<std::string>& myOrderId() const { return flow()->myOrderId(); }
  void setMyOrderId(std::optional<std::string> orderId) { flow()->setMyOrderId(std::move(orderId)); }

  // The payment this panel shows.
  const std::shared_ptr<PayCentreFlow>& flow() const;

  // The player's taps and the page's events, handed to the flow.
  void doWxPay() { flow()->payWithWeChat(); }
  void doWxPayUrl(const std::string& url) { flow()->loadPaymentPage(url); }
  void doPtbPay() { flow()->payWithCoins(); }
  void goBack() { flow()->returnedToForeground(); }
  void doCancel() { flow()->cancel(); }
  void doClear() { flow()->end(); }
  // Hands "weixin://" addresses to the application and cancels them; allows the rest.
  void decidePolicyForNavigationAction(platform::WebView& webView, const platform::NavigationAction& action,
                                       std::function<void(platform::NavigationActionPolicy)> decisionHandler) override;
  // The payment page did not load.
  void didFailNavigation(platform::WebView& webView, const std::string& error) override;
  // The "支付中..." overlay, made on first use.
  const std::shared_ptr<platform::View>& coverView();

  Stage stage() const { return flow()->stage(); }

  // What the flow asks of the panel.
  void showCover(const std::optional<std::string>& text) override;
  bool loadPaymentPage(platform::URLRequest request) override;
  void closeLater() override;

  std::shared_ptr<platform::Button> wxBtn() const { return wxBtn_.lock(); }
  std::shared_ptr<platform::Button> ptbBtn() const { return ptbBtn_.lock(); }
  std::shared_ptr<platform::Button> closeBtn() const { return closeBtn_.lock(); }
  std::shared_ptr<platform::Label> nameL() const { return nameL_.lock(); }
  std::shared_ptr<platform::Label> priceL() const { return priceL_.lock(); }
  std::shared_ptr<platform::Label> ptbL() const { return ptbL_.lock(); }
  std::shared_ptr<platform::WebView> webView() const { return webView_.lock(); }

 private:
  std::shared_ptr<TolbaPayView> self();
  void applyOrderTexts();
  void applyBalance();
  void balanceDidReply(const std::optional<nlohmann::json>& reply);

  mutable std::shared_ptr<PayCentreFlow> flow_;  // made on first use

  std::weak_ptr<platform::Button> wxBtn_;
  std::weak_ptr<platform::Button> ptbBtn_;
  std::weak_ptr<platform::Button> closeBtn_;
  std::weak_ptr<platform::Label> nameL_;
  std::weak_ptr<platform::Label> priceL_;
  std::weak_ptr<platform::Label> ptbL_;
  std::weak_ptr<platform::WebView> webView_;
  std::shared_ptr<platform::View> coverView_;
  std::weak_ptr<platform::Label> coverLabel_;
  // The web view carrying a WeChat payment page, kept across rotations.
  std::shared_ptr<platform::WebView> paymentPage_;
  std::optional<float> balance_;  // the last balance the server gave
  bool weChatOffered_ = false;    // the last balance reply carried "wx" 1
  platform::ScopedObserver foregroundObserver_;
};

}  // namespace tolba
