#pragma once
// The facade's state and flows behind the public TolbaSDK: the session, the
// initialisation probe, the notification senders and each step of the login,
// real-name, sign-in and payment flows. TolbaSDK forwards every call here; the
// SDK's own code and its tests use this class directly, so that a game sees only
// what it may call.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "sdk/play_time_guard.h"
#include "tolba/TolbaSDK.h"
#include "tolba/platform/notification_center.h"

namespace tolba {

namespace platform {
class Timer;
}  // namespace platform

class TolbaRealView;

// One payment from the game's call to its notification: its own records and
// the aggregation server's order id, carried by every step, so that nothing
// reads a "current order" another payment may have replaced.
struct TolbaPayment {
  std::shared_ptr<TolbaSDKPayOrderInfo> order;
  std::shared_ptr<TolbaSDKGameRoleInfo> role;
  std::optional<std::string> orderId;
  bool ended = false;  // the game has heard how it ended; nothing more is reported
};
using TolbaPaymentPtr = std::shared_ptr<TolbaPayment>;

class TolbaSDKCore : public std::enable_shared_from_this<TolbaSDKCore> {
 public:
  using Json = nlohmann::json;

  // The process-wide facade state, created once (thread-safe) and never destroyed.
  static std::shared_ptr<TolbaSDKCore> shared();
  // Replaces the singleton with a fresh one (tests only).
  static void resetForTesting();

  TolbaSDKCore();  // the platform's `init`: not initialised, no session
  ~TolbaSDKCore();
  TolbaSDKCore(const TolbaSDKCore&) = delete;
  TolbaSDKCore& operator=(const TolbaSDKCore&) = delete;

  // --- What TolbaSDK forwards (documented there) ------------------------------------
  std::string channelType();
  std::int32_t initWithConfig(std::shared_ptr<TolbaSDKInitConfig> config, platform::Application* application,
                              const Json& launchOptions);
  std::int32_t login();
  std::int32_t logout();
  std::int32_t realAuth() { return kTolbaResultRealAuth; }
  std::optional<std::string> username() const;
  std::optional<std::string> token() const;
  std::optional<std::string> logintime() const;
  const std::optional<Json>& realNameInfo() const { return realNameInfo_; }
  void updateRoleInfoWith(std::shared_ptr<TolbaSDKGameRoleInfo> role, bool isCreate);
  std::int32_t payOrderInfo(std::shared_ptr<TolbaSDKPayOrderInfo> order, std::shared_ptr<TolbaSDKGameRoleInfo> role);
  std::int32_t showToolBar(std::int32_t place);
  std::int32_t hideToolBar();
  std::uint64_t applicationSupportedInterfaceOrientationsForWindow(platform::Application* application,
                                                                   platform::Window* window);

  // --- Session in the JSON type the server sent it (null when absent) ----------------
  const Json& usernameValue() const { return username_; }
  const Json& tokenValue() const { return token_; }
  const Json& logintimeValue() const { return logintime_; }
  // Sets the session as a sign-in would (tests only).
  void setSessionForTesting(Json username, Json token, Json logintime, std::optional<Json> realNameInfo);

  // Notification senders: log the sender's line, then post on the main run loop
  // (never inside the caller's stack). The logout sender first tells the server.
  void sendTolbaInitNoti(Json payload);
  void sendTolbaLoginNoti(Json payload);
  void sendTolbaLogoutNoti(Json payload);
  void sendTolbaPayNoti(Json payload);
  void sendTolbaRealNoti(Json payload);
  void sendTolbaPlayTimeNoti(Json payload);

  // One network probe of initialisation (run by the probe timer).
  void requestForNetSwitch();
  // Marks the SDK initialised and posts the init notification.
  void _initChannelSdk();

  bool SDKIsInit() const { return SDKIsInit_; }
  const std::shared_ptr<TolbaSDKInitConfig>& config() const { return config_; }
  // The payment in progress (submitted, or its pay centre open); null when none.
  const TolbaPaymentPtr& payment() const { return payment_; }
  std::shared_ptr<TolbaRealView> rzView() const { return rzView_.lock(); }
  const std::optional<Json>& loginData() const { return loginData_; }
  const std::shared_ptr<platform::Timer>& netTimer() const { return netTimer_; }

  // Host name the initialisation probe asks the reachability monitor about.
  static constexpr const char* kProbeHostName = "www.apple.com";

  // Steps of the login and payment flows, in the order they run (tests drive
  // them one at a time).
  void loginPanelDidFinish(const Json& result);
  void showRzView();
  void checkRzWithDic(const std::optional<Json>& result);
  void doSignUserWithDic(const std::optional<Json>& loginResult);
  void signInDidReply(const std::optional<Json>& reply);
  // `resumeGame` false: the sign-in was refused for the minors' play time.
  void setRealInfoWithAge(const std::string& age, bool resumeGame = true);
  // A minor's play time: counts `secondsLeft` down, warns, and at the end shows
  // the play-time panel and signs the player out.
  void startPlayTime(std::int64_t secondsLeft);
  bool playTimeRunning() const { return playTime_.running(); }
  void orderDidReply(const TolbaPaymentPtr& payment, const std::optional<Json>& reply);
  void doShowPay(const TolbaPaymentPtr& payment);
  void doPayNotiWithResult(const TolbaPaymentPtr& payment, const std::optional<Json>& result);
  // Asks the server again about payments whose outcome nobody learnt; those now
  // paid are reported as late successes.
  void settleUnsettledOrders();

 private:
  void post(const char* name, Json payload);
  // Ends `payment` with its one notification.
  void endPayment(const TolbaPaymentPtr& payment, Json payload);

  Json username_;
  Json token_;
  Json logintime_;
  std::optional<Json> realNameInfo_;
  bool SDKIsInit_ = false;
  std::shared_ptr<TolbaSDKInitConfig> config_;
  TolbaPaymentPtr payment_;
  std::weak_ptr<TolbaRealView> rzView_;
  std::optional<Json> loginData_;
  std::shared_ptr<platform::Timer> netTimer_;
  // Each return to the foreground asks again about unsettled payments.
  platform::ScopedObserver foregroundObserver_;
  PlayTimeGuard playTime_;
};

}  // namespace tolba
