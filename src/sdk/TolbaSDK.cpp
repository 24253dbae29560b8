#include "tolba/TolbaSDK.h"

#include <mutex>

#include "model/TolbaSDKGameConfig.h"
#include "net/TolbaApi.h"
#include "net/TolbaReachabilityFile.h"
#include "tolba/build_settings.h"
#include "tolba/platform/log.h"
#include "tolba/platform/notification_center.h"
#include "tolba/platform/run_loop.h"
#include "tolba/platform/value.h"

namespace tolba {
namespace {

std::shared_ptr<TolbaSDK>& instanceSlot() {
  static auto* slot = new std::shared_ptr<TolbaSDK>();  // never destroyed
  return *slot;
}

void logLine(const std::string& text) { platform::log("TolbaLog:" + text); }

}  // namespace

std::shared_ptr<TolbaSDK> TolbaSDK::defaultInstance() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (!instanceSlot()) instanceSlot() = std::make_shared<TolbaSDK>();
  });
  return instanceSlot();
}

void TolbaSDK::resetForTesting() {
  defaultInstance();
  auto old = std::move(instanceSlot());
  if (old && old->netTimer_) old->netTimer_->invalidate();
  instanceSlot() = std::make_shared<TolbaSDK>();
}

void TolbaSDK::setSessionForTesting(Json username, Json token, Json logintime, std::optional<Json> realNameInfo) {
  username_ = std::move(username);
  token_ = std::move(token);
  logintime_ = std::move(logintime);
  realNameInfo_ = std::move(realNameInfo);
}

TolbaSDK::TolbaSDK() = default;
TolbaSDK::~TolbaSDK() = default;

std::string TolbaSDK::channelType() { return platform::describe(TolbaSDKGameConfig::getChannel()); }

std::int32_t TolbaSDK::initWithConfig(std::shared_ptr<TolbaSDKInitConfig> config, platform::Application* application,
                                      const Json& launchOptions) {
  (void)application;
  (void)launchOptions;
  if (!config || !config->gameid() || config->gameid()->empty()) {
    sendTolbaInitNoti({{kTolbaSDKKeyError, -10}});
    return -10;
  }
  config_ = std::move(config);
  platform::log("cps = " + platform::describe(TolbaSDKGameConfig::getChannel()));
  platform::log("gid = " + platform::describe(TolbaSDKGameConfig::getGameId()));
  platform::log("url = " + platform::describe(TolbaSDKGameConfig::getMainUrl()));
  if (build::kAllowPlainHttp) {
    logLine("warning: this build sends requests over plain http:// to any host (TOLBA_ALLOW_PLAIN_HTTP); the "
            "password then travels readable");
  }

  // A probe still running from an earlier accepted call would otherwise go on
  // for ever next to the new one.
  if (netTimer_) netTimer_->invalidate();
  std::weak_ptr<TolbaSDK> weak = weak_from_this();
  netTimer_ = platform::RunLoop::main().scheduleTimer(platform::Duration(1.0), true, [weak](platform::Timer&) {
    if (auto self = weak.lock()) self->requestForNetSwitch();
  }, "network probe");
  // The first probe runs inside this call.
  netTimer_->fire();
  return 0;
}

void TolbaSDK::requestForNetSwitch() {
  const auto monitor = TolbaReachabilityFile::reachabilityWithHostName(kProbeHostName);
  const auto status = monitor ? monitor->currentReachabilityStatus() : ReachabilityNone;
  if (status == ReachabilityNone) return;
  logLine("网络正常了");
  if (netTimer_) netTimer_->invalidate();
  netTimer_.reset();
  std::weak_ptr<TolbaSDK> weak = weak_from_this();
  platform::postToMain([weak] {
    auto self = weak.lock();
    if (!self) return;
    logLine("主线程里初始化");
    // This is already a later turn of the main run loop, outside the game's
    // call: the game hears of it in this same tick rather than in one more.
    self->SDKIsInit_ = true;
    logLine("聚合初始化通知");
    platform::NotificationCenter::defaultCenter().post(kTolbaSDKNotiInitDidFinished, nullptr,
                                                       Json{{kTolbaSDKKeyError, 0}});
  }, "init channel SDK");
}

void TolbaSDK::_initChannelSdk() {
  SDKIsInit_ = true;
  sendTolbaInitNoti({{kTolbaSDKKeyError, 0}});
}

std::optional<std::string> TolbaSDK::username() const {
  return username_.is_null() ? std::nullopt : std::optional(platform::describe(username_));
}
std::optional<std::string> TolbaSDK::token() const {
  return token_.is_null() ? std::nullopt : std::optional(platform::describe(token_));
}
std::optional<std::string> TolbaSDK::logintime() const {
  return logintime_.is_null() ? std::nullopt : std::optional(platform::describe(logintime_));
}

std::int32_t TolbaSDK::showToolBar(std::int32_t place) {
  (void)place;
  logLine("调用显示工具栏");
  return 0;
}

std::int32_t TolbaSDK::hideToolBar() {
  logLine("调用隐藏工具栏");
  return 0;
}

std::uint64_t TolbaSDK::applicationSupportedInterfaceOrientationsForWindow(platform::Application*, platform::Window*) {
  const auto landscape = TolbaSDKGameConfig::defaultInstance()->getIsLandscape();
  const auto value = landscape ? platform::intValueOfText(*landscape) : 0;
  return value == 1 ? kTolbaOrientationMaskLandscape : kTolbaOrientationMaskPortrait;
}

bool TolbaSDK::openURLApplication(const std::string&, platform::Application*) { return false; }
bool TolbaSDK::openURLSourceApplicationApplicationAnnotation(const std::string&, const std::string&,
                                                             platform::Application*, const Json&) {
  return false;
}
bool TolbaSDK::openURLApplicationOptions(const std::string&, platform::Application*, const Json&) { return false; }
bool TolbaSDK::applicationDidRegisterForRemoteNotificationsWithDeviceToken(platform::Application*, const std::string&) {
  return false;
}
bool TolbaSDK::applicationDidFailToRegisterForRemoteNotificationsWithError(platform::Application*, const std::string&) {
  return false;
}
bool TolbaSDK::applicationDidReceiveRemoteNotification(platform::Application*, const Json&) { return false; }
bool TolbaSDK::applicationWillResignActive(platform::Application*) { return false; }
bool TolbaSDK::applicationDidEnterBackground(platform::Application*) { return false; }
bool TolbaSDK::applicationWillEnterForeground(platform::Application*) { return false; }
bool TolbaSDK::applicationDidBecomeActive(platform::Application*) { return false; }
bool TolbaSDK::applicationWillTerminate(platform::Application*) { return false; }
bool TolbaSDK::applicationContinueUserActivityRestorationHandler(platform::Application*, const Json&,
                                                                 const std::function<void(const Json&)>&) {
  return false;  // the handler is never called
}

void TolbaSDK::post(const char* name, Json payload) {
  platform::postToMain([name = std::string(name), payload = std::move(payload)] {
    platform::NotificationCenter::defaultCenter().post(name, nullptr, payload);
  }, name);
}

void TolbaSDK::sendTolbaInitNoti(Json payload) {
  logLine("聚合初始化通知");
  post(kTolbaSDKNotiInitDidFinished, std::move(payload));
}

void TolbaSDK::sendTolbaLoginNoti(Json payload) {
  logLine("聚合登录通知");
  post(kTolbaSDKNotiLogin, std::move(payload));
}

void TolbaSDK::sendTolbaLogoutNoti(Json payload) {
  logLine("聚合登出通知");
  std::weak_ptr<TolbaSDK> weak = weak_from_this();
  // Whatever the reply says, even nothing readable or nothing at all (a transport
  // failure), the player is signed out: a game waiting on its switch-account
  // screen always hears back.
  auto signedOut = [weak, payload = std::move(payload)] {
    auto self = weak.lock();
    if (!self) return;
    self->username_ = nullptr;
    self->realNameInfo_.reset();
    self->post(kTolbaSDKNotiLogout, payload);
  };
  TolbaApi::gameLogoutBlock([signedOut](const std::optional<Json>&, const Json&) { signedOut(); },
                            [signedOut](const std::string& why) {
                              logLine("logout request got no answer (" + why + ")");
                              signedOut();
                            });
}

void TolbaSDK::sendTolbaPayNoti(Json payload) {
  logLine("聚合支付通知");
  post(kTolbaSDKNotiRecharge, std::move(payload));
}

void TolbaSDK::sendTolbaRealNoti(Json payload) {
  logLine("聚合实名通知");
  post(kTolbaSDKNotiRealAuth, std::move(payload));
}

}  // namespace tolba
