#pragma once
// The one object a game talks to.
//
//   auto sdk = tolba::TolbaSDK::defaultInstance();
//   sdk->initWithConfig(config, nullptr, nullptr);     // then, once per frame:
//   tolba::platform::RunLoop::main().tick();           // "tolba/platform/run_loop.h"
//
// and listen for the notifications below on
// tolba::platform::NotificationCenter::defaultCenter() ("tolba/platform/notification_center.h").
// Every call belongs to the thread that ticks the main run loop. Notifications are
// always posted from a later tick, never inside the call that caused them; each
// carries a payload object with an integer "error" (0 for success) and, where
// there is one, a "msg" text.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tolba/TolbaSDKGameRoleInfo.h"
#include "tolba/TolbaSDKInitConfig.h"
#include "tolba/TolbaSDKPayOrderInfo.h"
#include "tolba/export.h"

namespace tolba {

namespace platform {
class Application;  // the SDK's own application object; games pass nullptr
class Window;       // likewise
}  // namespace platform

// --- Notifications (each value is its own name) ------------------------------------
// Initialisation finished: {"error": 0}, or {"error": -10} when init was refused.
inline constexpr char kTolbaSDKNotiInitDidFinished[] = "kTolbaSDKNotiInitDidFinished";
// Sign-in: {"error": 0, "username", "token", "logintime"}; -2 (login panel failed or
// the reply was unreadable) or -3 (the server refused, "msg" its text).
inline constexpr char kTolbaSDKNotiLogin[] = "kTolbaSDKNotiLogin";
// The player is signed out: {"error": 0}.
inline constexpr char kTolbaSDKNotiLogout[] = "kTolbaSDKNotiLogout";
// A payment ended: "error" 0 (paid), -400 (refused or failed), -401 (cancelled);
// "msg", "cpOrderId" (the game's order id) and, once the order was accepted, "orderId".
inline constexpr char kTolbaSDKNotiRecharge[] = "kTolbaSDKNotiRecharge";
// Right after every sign-in: {"error": 0, "msg", "isRealName" "1"/"0", "age" (text,
// "-1" when unknown), "isResumeGame" "1", "realOther" ""}.
inline constexpr char kTolbaSDKNotiRealAuth[] = "kTolbaSDKNotiRealAuth";
// A minor's play time for today (only when the server limits it): a warning ten
// minutes and one minute before the end, {"error": 0, "msg", "playleft" (seconds
// left)}; at the end {"error": -302, "msg": "今日游戏时间已结束", "playleft": 0},
// after which the SDK shows a panel that cannot be closed and signs the player
// out (kTolbaSDKNotiLogout follows).
inline constexpr char kTolbaSDKNotiPlayTime[] = "kTolbaSDKNotiPlayTime";
// Payload keys.
inline constexpr char kTolbaSDKKeyError[] = "error";
inline constexpr char kTolbaSDKKeyMsg[] = "msg";

// --- Result codes of the calls below and of "error" in payloads ------------------------
inline constexpr std::int32_t kTolbaResultOk = 0;
inline constexpr std::int32_t kTolbaResultLoginFailed = -2;
inline constexpr std::int32_t kTolbaResultSignInRefused = -3;
inline constexpr std::int32_t kTolbaResultInitRefused = -10;
inline constexpr std::int32_t kTolbaResultNotInitialised = -20;
inline constexpr std::int32_t kTolbaResultRealAuth = -100;
inline constexpr std::int32_t kTolbaResultNotSignedIn = -301;
// kTolbaSDKNotiPlayTime: a minor's play time for today has ended.
inline constexpr std::int32_t kTolbaResultPlayTimeOver = -302;
inline constexpr std::int32_t kTolbaResultPayFailed = -400;
inline constexpr std::int32_t kTolbaResultPayCancelled = -401;

// Interface orientation masks answered by the orientation hook.
inline constexpr std::uint64_t kTolbaOrientationMaskPortrait = 2;
inline constexpr std::uint64_t kTolbaOrientationMaskLandscape = 24;

class TOLBA_API TolbaSDK {
 public:
  using Json = nlohmann::json;

  // The process-wide facade, created on first use (thread-safe), never destroyed.
  static std::shared_ptr<TolbaSDK> defaultInstance();

  // --- Start-up -------------------------------------------------------------------
  // 0 when accepted; -10 (and kTolbaSDKNotiInitDidFinished {"error": -10}) when the
  // record is missing or its gameid is empty. Initialisation finishes once the
  // network is reachable; until then login, logout and payOrderInfo answer -20.
  // The application and launch options are not used.
  std::int32_t initWithConfig(std::shared_ptr<TolbaSDKInitConfig> config, platform::Application* application,
                              const Json& launchOptions);
  // The channel id of Tolba.plist ("cps001" by default).
  std::string channelType();

  // --- The player ---------------------------------------------------------------------
  // Opens the login panel: 0, or -20 before initialisation finished. The outcome
  // arrives as kTolbaSDKNotiLogin and then kTolbaSDKNotiRealAuth.
  std::int32_t login();
  // Signs the player out: 0, -20, or -301 when nobody is signed in. The outcome
  // arrives as kTolbaSDKNotiLogout once the server answered.
  std::int32_t logout();
  // Always -100: the real-name check runs as part of login.
  std::int32_t realAuth();

  // The session as the server issued it at sign-in (nullopt when nobody is signed in).
  std::optional<std::string> username() const;
  std::optional<std::string> token() const;
  std::optional<std::string> logintime() const;
  // The last real-name answer (keys as in kTolbaSDKNotiRealAuth), nullopt after logout.
  std::optional<Json> realNameInfo() const;

  // --- Roles and payments ---------------------------------------------------------------
  // Reports the signed-in player's role to the servers (create and update alike);
  // nothing is reported when nobody is signed in. No notification.
  void updateRoleInfoWith(std::shared_ptr<TolbaSDKGameRoleInfo> role, bool isCreate);
  // Submits the order and opens the pay centre: 0, -20 or -301. The outcome arrives
  // as kTolbaSDKNotiRecharge. Fills in the order's sign ("" when unset) and its
  // productDesc (count followed by productName when empty) in place.
  std::int32_t payOrderInfo(std::shared_ptr<TolbaSDKPayOrderInfo> order, std::shared_ptr<TolbaSDKGameRoleInfo> role);

  // --- Toolbar entry points: log a line and answer 0 (the floating switch-account
  // button is shown after login and hidden by logout instead) ---------------------------
  std::int32_t showToolBar(std::int32_t place);
  std::int32_t hideToolBar();
  std::int32_t enterUserCenter();

  // --- Orientation hook: kTolbaOrientationMaskLandscape when the game is landscape
  // (Tolba.plist "islandscape" 1), otherwise kTolbaOrientationMaskPortrait ----------------
  std::uint64_t applicationSupportedInterfaceOrientationsForWindow(platform::Application* application,
                                                                   platform::Window* window);

  // --- Application-delegate hooks the game forwards; each answers false and does
  // nothing (the restoration handler is never called) ------------------------------------
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

  TolbaSDK(const TolbaSDK&) = delete;
  TolbaSDK& operator=(const TolbaSDK&) = delete;

 private:
  TolbaSDK() = default;  // state lives inside the library; this object only forwards
};

}  // namespace tolba
