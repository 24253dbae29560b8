// The facade's state, initialisation probe and notification senders (TolbaSDKCore).
#include "sdk/TolbaSDKCore.h"

#include <mutex>

#include "model/TolbaSDKGameConfig.h"
#include "net/TolbaApi.h"
#include "net/TolbaNetTool.h"
#include "net/TolbaReachabilityFile.h"
#include "platform/transport_policy.h"
#include "sdk/sdk_log.h"
#include "tolba/build_settings.h"
#include "tolba/platform/log.h"
#include "tolba/platform/notification_center.h"
#include "tolba/platform/run_loop.h"
#include "tolba/platform/value.h"
#include "toolkit/application.h"

namespace tolba {
namespace {

std::shared_ptr<TolbaSDKCore>& instanceSlot() {
  static auto* slot = new std::shared_ptr<TolbaSDKCore>();  // never destroyed
  return *slot;
}

}  // namespace

std::shared_ptr<TolbaSDKCore> TolbaSDKCore::shared() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (!instanceSlot()) instanceSlot() = std::make_shared<TolbaSDKCore>();
  });
  return instanceSlot();
}

void TolbaSDKCore::resetForTesting() {
  shared();
  auto old = std::move(instanceSlot());
  if (old && old->netTimer_) old->netTimer_->invalidate();
  instanceSlot() = std::make_shared<TolbaSDKCore>();
}

void TolbaSDKCore::setSessionForTesting(Json username, Json token, Json logintime, std::optional<Json> realNameInfo) {
  username_ = std::move(username);
  token_ = std::move(token);
  logintime_ = std::move(logintime);
  realNameInfo_ = std::move(realNameInfo);
}

TolbaSDKCore::TolbaSDKCore() = default;
TolbaSDKCore::~TolbaSDKCore() = default;

std::string TolbaSDKCore::channelType() { return platform::describe(TolbaSDKGameConfig::getChannel()); }

std::int32_t TolbaSDKCore::initWithConfig(std::shared_ptr<TolbaSDKInitConfig> config,
                                          platform::Application* application, const Json& launchOptions) {
  (void)application;
  (void)launchOptions;
  if (!config || !config->gameid() || config->gameid()->empty()) {
    sendTolbaInitNoti({{kTolbaSDKKeyError, kTolbaResultInitRefused}});
    return kTolbaResultInitRefused;
  }
  config_ = std::move(config);
  TolbaSDKGameConfig::setInitConfig(config_);
  platform::log("cps = " + platform::describe(TolbaSDKGameConfig::getChannel()));
  platform::log("gid = " + platform::describe(TolbaSDKGameConfig::getGameId()));
  const std::string url = platform::describe(TolbaSDKGameConfig::getMainUrl());
  platform::log("url = " + url);
  if (!platform::transport::urlAllowed(url, false) && platform::transport::urlAllowed(url, true)) {
    if (TolbaSDKGameConfig::getAllowPlainHttp()) {
      logLine("warning: requests go over plain http:// to " + url +
              " (\"allowplainhttp\" is 1 in Tolba.plist); the password then travels readable");
    } else {
      logLine("the base URL " + url +
              " is plain http:// to a host other than this machine: every request to it is "
              "refused. Use https://, or set \"allowplainhttp\" to 1 in Tolba.plist to allow it");
    }
  }

  // Replies that carry a minor's play time left set the countdown again.
  TolbaNetTool::setReplyWatcher(
      [weak = std::weak_ptr<TolbaSDKCore>(weak_from_this())](const std::string&, const Json& reply) {
        auto self = weak.lock();
        const Json* left = platform::find(reply, "playleft");
        if (self && self->playTime_.running() && platform::isPresent(left))
          self->startPlayTime(platform::intValue(left));
      });
  if (!foregroundObserver_.active()) {
    auto& center = platform::NotificationCenter::defaultCenter();
    std::weak_ptr<TolbaSDKCore> self = weak_from_this();
    foregroundObserver_ =
        platform::ScopedObserver(center, center.addObserver(platform::kApplicationDidBecomeActiveNotification, nullptr,
                                                            [self](const platform::Notification&) {
                                                              auto core = self.lock();
                                                              if (core && core->SDKIsInit_)
                                                                core->settleUnsettledOrders();
                                                            }));
  }

  // A probe still running from an earlier accepted call would otherwise go on
  // for ever next to the new one.
  if (netTimer_) netTimer_->invalidate();
  std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
  netTimer_ = platform::RunLoop::main().scheduleTimer(
      platform::Duration(1.0), true,
      [weak](platform::Timer&) {
        if (auto self = weak.lock()) self->requestForNetSwitch();
      },
      "network probe");
  // The first probe runs inside this call.
  netTimer_->fire();
  return 0;
}

void TolbaSDKCore::requestForNetSwitch() {
  const auto monitor = TolbaReachabilityFile::reachabilityWithHostName(kProbeHostName);
  const auto status = monitor ? monitor->currentReachabilityStatus() : ReachabilityNone;
  if (status == ReachabilityNone) return;
  logLine("网络正常了");
  if (netTimer_) netTimer_->invalidate();
  netTimer_.reset();
  std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
  platform::postToMain(
      [weak] {
        auto self = weak.lock();
        if (!self) return;
        logLine("主线程里初始化");
        // This is already a later turn of the main run loop, outside the game's
        // call: the game hears of it in this same tick rather than in one more.
        self->SDKIsInit_ = true;
        logLine("聚合初始化通知");
        platform::NotificationCenter::defaultCenter().post(kTolbaSDKNotiInitDidFinished, nullptr,
                                                           Json{{kTolbaSDKKeyError, kTolbaResultOk}});
        self->settleUnsettledOrders();
      },
      "init channel SDK");
}

void TolbaSDKCore::_initChannelSdk() {
  SDKIsInit_ = true;
  sendTolbaInitNoti({{kTolbaSDKKeyError, kTolbaResultOk}});
}

std::optional<std::string> TolbaSDKCore::username() const {
  return username_.is_null() ? std::nullopt : std::optional(platform::describe(username_));
}
std::optional<std::string> TolbaSDKCore::token() const {
  return token_.is_null() ? std::nullopt : std::optional(platform::describe(token_));
}
std::optional<std::string> TolbaSDKCore::logintime() const {
  return logintime_.is_null() ? std::nullopt : std::optional(platform::describe(logintime_));
}

std::int32_t TolbaSDKCore::showToolBar(std::int32_t place) {
  (void)place;
  logLine("调用显示工具栏");
  return 0;
}

std::int32_t TolbaSDKCore::hideToolBar() {
  logLine("调用隐藏工具栏");
  return 0;
}

std::uint64_t TolbaSDKCore::applicationSupportedInterfaceOrientationsForWindow(platform::Application*,
                                                                               platform::Window*) {
  const auto landscape = TolbaSDKGameConfig::defaultInstance()->getIsLandscape();
  const auto value = landscape ? platform::intValueOfText(*landscape) : 0;
  return value == 1 ? kTolbaOrientationMaskLandscape : kTolbaOrientationMaskPortrait;
}

void TolbaSDKCore::post(const char* name, Json payload) {
  platform::postToMain(
      [name = std::string(name), payload = std::move(payload)] {
        platform::NotificationCenter::defaultCenter().post(name, nullptr, payload);
      },
      name);
}

void TolbaSDKCore::sendTolbaInitNoti(Json payload) {
  logLine("聚合初始化通知");
  post(kTolbaSDKNotiInitDidFinished, std::move(payload));
}

void TolbaSDKCore::sendTolbaLoginNoti(Json payload) {
  logLine("聚合登录通知");
  post(kTolbaSDKNotiLogin, std::move(payload));
}

void TolbaSDKCore::sendTolbaLogoutNoti(Json payload) {
  logLine("聚合登出通知");
  std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
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
  TolbaApi::gameLogoutBlock(
      username_, [signedOut](const std::optional<Json>&, const Json&) { signedOut(); },
      [signedOut](const std::string& why) {
        logLine("logout request got no answer (" + why + ")");
        signedOut();
      });
}

void TolbaSDKCore::sendTolbaPayNoti(Json payload) {
  logLine("聚合支付通知");
  post(kTolbaSDKNotiRecharge, std::move(payload));
}

void TolbaSDKCore::sendTolbaPlayTimeNoti(Json payload) {
  logLine("防沉迷通知");
  post(kTolbaSDKNotiPlayTime, std::move(payload));
}

void TolbaSDKCore::sendTolbaRealNoti(Json payload) {
  logLine("聚合实名通知");
  post(kTolbaSDKNotiRealAuth, std::move(payload));
}

}  // namespace tolba
