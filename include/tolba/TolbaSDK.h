#pragma once
// The one object a game talks to. Create it with TolbaSDK::defaultInstance(),
// initialise it with initWithConfig(), call platform::RunLoop::main().tick() once
// per frame, and listen for the notifications below on
// platform::NotificationCenter::defaultCenter(). Everything runs on the thread
// that ticks the main run loop; notifications are always posted from a later
// tick, never inside the call that caused them.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tolba/TolbaSDKGameRoleInfo.h"
#include "tolba/TolbaSDKInitConfig.h"
#include "tolba/TolbaSDKPayOrderInfo.h"

namespace tolba {

namespace platform {
class Application;
class Window;
class Timer;
}  // namespace platform

class TolbaRealView;

// Notification names (each value is its own name) and payload keys.
inline constexpr char kTolbaSDKNotiInitDidFinished[] = "kTolbaSDKNotiInitDidFinished";
inline constexpr char kTolbaSDKNotiLogin[] = "kTolbaSDKNotiLogin";
inline constexpr char kTolbaSDKNotiLogout[] = "kTolbaSDKNotiLogout";
inline constexpr char kTolbaSDKNotiRecharge[] = "kTolbaSDKNotiRecharge";
inline constexpr char kTolbaSDKNotiRealAuth[] = "kTolbaSDKNotiRealAuth";
inline constexpr char kTolbaSDKKeyError[] = "error";
inline constexpr char kTolbaSDKKeyMsg[] = "msg";

// Interface orientation masks answered by the orientation hook.
inline constexpr std::uint64_t kTolbaOrientationMaskPortrait = 2;
inline constexpr std::uint64_t kTolbaOrientationMaskLandscape = 24;

class TolbaSDK : public std::enable_shared_from_this<TolbaSDK> {
 public:
  using Json = nlohmann::json;

  // The process-wide facade, created once (thread-safe) and never destroyed.
  static std::shared_ptr<TolbaSDK> defaultInstance();

  TolbaSDK();  // the platform's `init`: not initialised, no session
  ~TolbaSDK();
  TolbaSDK(const TolbaSDK&) = delete;
  TolbaSDK& operator=(const TolbaSDK&) = delete;

  // The channel id of Tolba.plist ("cps001" by default).
  std::string channelType();

  // 0 when accepted; -10 (and kTolbaSDKNotiInitDidFinished {"error":-10}) when the
  // record is missing or its gameid is empty. Initialisation finishes once the
  // network is reachable; until then login/logout/payOrderInfo answer -20.
  std::int32_t initWithConfig(std::shared_ptr<TolbaSDKInitConfig> config, platform::Application* application,
                              const Json& launchOptions);

  std::int32_t login();   // 0 or -20
  std::int32_t logout();  // 0, -20 or -301
  std::int32_t realAuth() { return -100; }

  // The session, as the aggregation server issued it (nullopt when absent).
  std::optional<std::string> username() const;
  std::optional<std::string> token() const;
  std::optional<std::string> logintime() const;
  // The same values in the JSON type the server sent them (null when absent).
  const Json& usernameValue() const { return username_; }
  const Json& tokenValue() const { return token_; }
  const Json& logintimeValue() const { return logintime_; }
  const std::optional<Json>& realNameInfo() const { return realNameInfo_; }
  // Sets the session as a sign-in would (tests only).
  void setSessionForTesting(Json username, Json token, Json logintime, std::optional<Json> realNameInfo);

  void updateRoleInfoWith(std::shared_ptr<TolbaSDKGameRoleInfo> role, bool isCreate);
  std::int32_t payOrderInfo(std::shared_ptr<TolbaSDKPayOrderInfo> order, std::shared_ptr<TolbaSDKGameRoleInfo> role);

  // Toolbar entry points: log a line and answer 0; the floating button is shown
  // after login and hidden by logout instead.
  std::int32_t showToolBar(std::int32_t place);
  std::int32_t hideToolBar();
  std::int32_t enterUserCenter() { return 0; }

  // Orientation hook: landscape mask (24) when the game is landscape, else 2.
  std::uint64_t applicationSupportedInterfaceOrientationsForWindow(platform::Application* application,
                                                                   platform::Window* window);

  // Application-delegate hooks the game forwards; each answers false and does nothing.
  bool openURLApplication(const std::string& url, platform::Application* application);
  bool openURLSourceApplicationApplicationAnnotation(const std::string& url, const std::string& sourceApplication,
                                                     platform::Application* application, const Json& annotation);
  bool openURLApplicationOptions(const std::string& url, platform::Application* application, const Json& options);
  bool applicationDidRegisterForRemoteNotificationsWithDeviceToken(platform::Application* application,
                                                                   const std::string& deviceToken);
  bool applicationDidFailToRegisterForRemoteNotificationsWithError(platform::Application* application,
                                                                   const std::string& error);
  bool applicationDidReceiveRemoteNotification(platform::Application* application, const Json& userInfo);
  bool applicationWillResignActive(platform::Application* application);
  bool applicationDidEnterBackground(platform::Application* application);
  bool applicationWillEnterForeground(platform::Application* application);
  bool applicationDidBecomeActive(platform::Application* application);
  bool applicationWillTerminate(platform::Application* application);
  bool applicationContinueUserActivityRestorationHandler(platform::Application* application, const Json& activity,
                                                         const std::function<void(const Json&)>& restorationHandler);

  // Notification senders: log the sender's line, then post on the main run loop
  // (never inside the caller's stack). The logout sender first tells the server.
  void sendTolbaInitNoti(Json payload);
  void sendTolbaLoginNoti(Json payload);
  void sendTolbaLogoutNoti(Json payload);
  void sendTolbaPayNoti(Json payload);
  void sendTolbaRealNoti(Json payload);

  // One network probe of initialisation (run by the probe timer).
  void requestForNetSwitch();
  // Marks the SDK initialised and posts the init notification.
  void _initChannelSdk();

  bool SDKIsInit() const { return SDKIsInit_; }
  const std::shared_ptr<TolbaSDKInitConfig>& config() const { return config_; }
  const std::optional<std::string>& orderid() const { return orderid_; }
  const std::shared_ptr<TolbaSDKPayOrderInfo>& orderInfo() const { return orderInfo_; }
  const std::shared_ptr<TolbaSDKGameRoleInfo>& roleInfo() const { return roleInfo_; }
  std::shared_ptr<TolbaRealView> rzView() const { return rzView_.lock(); }
  const std::optional<Json>& loginData() const { return loginData_; }
  const std::shared_ptr<platform::Timer>& netTimer() const { return netTimer_; }

  // Host name the initialisation probe asks the reachability monitor about.
  static constexpr const char* kProbeHostName = "www.apple.com";

  // Replaces the singleton with a fresh facade (tests only).
  static void resetForTesting();

  // Internal steps of the login and payment flows, in the order they run
  // (public so that tests can drive them one at a time).
  void loginPanelDidFinish(const Json& result);
  void showRzView();
  void checkRzWithDic(const std::optional<Json>& result);
  void doSignUserWithDic(const std::optional<Json>& loginResult);
  void signInDidReply(const std::optional<Json>& reply);
  void setRealInfoWithAge(const std::string& age);
  void orderDidReply(const std::shared_ptr<TolbaSDKPayOrderInfo>& order, const std::optional<Json>& reply);
  void doShowPay();
  void doPayNotiWithResult(const std::optional<Json>& result);

 private:
  friend struct TolbaSDKFlows;
  void post(const char* name, Json payload);

  Json username_;
  Json token_;
  Json logintime_;
  std::optional<Json> realNameInfo_;
  bool SDKIsInit_ = false;
  std::shared_ptr<TolbaSDKInitConfig> config_;
  std::optional<std::string> orderid_;
  std::shared_ptr<TolbaSDKPayOrderInfo> orderInfo_;
  std::shared_ptr<TolbaSDKGameRoleInfo> roleInfo_;
  std::weak_ptr<TolbaRealView> rzView_;
  std::optional<Json> loginData_;
  std::shared_ptr<platform::Timer> netTimer_;
};

}  // namespace tolba
