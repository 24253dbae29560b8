// The facade's login, real-name and sign-in flow, and logout.
#include "model/TolbaSDKGameConfig.h"
#include "net/TolbaApi.h"
#include "net/log_masking.h"
#include "net/reply_reading.h"
#include "sdk/TolbaSDKCore.h"
#include "sdk/panel_presenter.h"
#include "sdk/sdk_log.h"
#include "tolba/platform/log.h"
#include "tolba/platform/value.h"
#include "ui/network_failure_texts.h"

namespace tolba {
namespace {

nlohmann::json realNameDictionary(const char* msg, const char* isRealName, const std::string& age,
                                  bool resumeGame = true) {
  return {{kTolbaSDKKeyError, kTolbaResultOk},      {kTolbaSDKKeyMsg, msg}, {"isRealName", isRealName}, {"age", age},
          {"isResumeGame", resumeGame ? "1" : "0"}, {"realOther", ""}};
}

std::string minutesText(std::int64_t seconds) {
  return seconds >= 60 ? std::to_string(seconds / 60) + "分钟" : std::to_string(seconds) + "秒";
}

}  // namespace

std::int32_t TolbaSDKCore::login() {
  logLine("设备码 = " + TolbaSDKGameConfig::getUUID());
  if (!SDKIsInit_) return kTolbaResultNotInitialised;
  PanelPresenter::current().removePlayTimeOverPanel();
  std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
  const bool shown = PanelPresenter::current().showLoginPanel([weak](const std::optional<Json>& result) {
    if (auto self = weak.lock()) self->loginPanelDidFinish(result.value_or(Json::object()));
  });
  if (!shown) {
    // The game hears of it rather than waiting for a panel nobody can see.
    platform::log("TolbaLog:login: no key window to show the login panel in; the login fails");
    sendTolbaLoginNoti({{kTolbaSDKKeyError, kTolbaResultLoginFailed}, {kTolbaSDKKeyMsg, "无法显示登录界面"}});
  }
  return 0;
}

void TolbaSDKCore::loginPanelDidFinish(const Json& result) {
  if (platform::intValue(platform::find(result, "code")) != 0) {
    const auto msg = replyText(result, kTolbaSDKKeyMsg);
    PanelPresenter::current().showWarning(msg);
    Json payload{{kTolbaSDKKeyError, kTolbaResultLoginFailed}};
    if (msg) payload[kTolbaSDKKeyMsg] = *msg;
    sendTolbaLoginNoti(std::move(payload));
    return;
  }
  loginData_ = result;
  const Json* rzdic = platform::find(result, "rzdic");
  const auto nrz = rzdic ? platform::intValue(platform::find(*rzdic, "nrz")) : 0;
  if (nrz != 0) {
    checkRzWithDic(*rzdic);
  } else {
    showRzView();
  }
  std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
  PanelPresenter::current().showFloatButton([weak] {
    if (auto self = weak.lock()) self->sendTolbaLogoutNoti({{kTolbaSDKKeyError, kTolbaResultOk}});
  });
}

void TolbaSDKCore::showRzView() {
  std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
  rzView_ = PanelPresenter::current().showRealNamePanel([weak](const std::optional<Json>& result) {
    platform::logLazily([&] {
      return "实名回调 resultDic = " + (result ? platform::describe(maskedDictionary(*result)) : std::string("(null)"));
    });
    if (auto self = weak.lock()) self->checkRzWithDic(result);
  });
}

void TolbaSDKCore::checkRzWithDic(const std::optional<Json>& result) {
  auto& presenter = PanelPresenter::current();
  if (!replyStatusIsOne(result, "z")) {
    // Cancelled or refused: the player goes on unverified; a refused panel stays up.
    realNameInfo_ = realNameDictionary("用户取消认证", "0", "-1");
  } else {
    const auto nrz = platform::intValue(platform::find(*result, "nrz"));
    if (nrz == 1) {
      realNameInfo_ = realNameDictionary("成功", "1", "20");
    } else if (nrz == 2) {
      realNameInfo_ = realNameDictionary("成功", "1", "10");
    } else if (nrz >= 3) {
      realNameInfo_ = realNameDictionary("成功", "0", "-1");
    }
    presenter.removeRealNamePanel(rzView_);
  }
  doSignUserWithDic(loginData_);
}

void TolbaSDKCore::doSignUserWithDic(const std::optional<Json>& loginResult) {
  const Json* name = loginResult ? platform::find(*loginResult, "name") : nullptr;
  std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
  TolbaApi::gameLogin(
      name ? *name : Json(), loginResult,
      [weak](const std::optional<Json>& reply, const Json&) {
        if (auto self = weak.lock()) self->signInDidReply(reply);
      },
      [weak](const std::string& why) {
        // No answer: the game hears what an unreadable reply tells it.
        logLine("聚合登录结果 = nil (" + why + ")");
        auto self = weak.lock();
        if (!self) return;
        PanelPresenter::current().showWarning(kNetworkFailedToast);
        self->sendTolbaLoginNoti({{kTolbaSDKKeyError, kTolbaResultLoginFailed}});
        self->setRealInfoWithAge("-1");
      });
}

void TolbaSDKCore::signInDidReply(const std::optional<Json>& reply) {
  // The token is masked in the log line.
  logLineLazily([&] {
    return "聚合登录结果 = " +
           (reply ? platform::describe(maskedReply("sdkstandard/login/index", *reply)) : std::string("(null)"));
  });
  Json payload = Json::object();
  std::string age;
  bool resumeGame = true;
  std::optional<std::int64_t> playLeft;
  const bool accepted = replyStatusIsOne(reply, "a");
  const Json* data = reply ? platform::find(*reply, "c") : nullptr;
  if (!reply || (accepted && (data == nullptr || !data->is_object()))) {
    // Nothing readable came back (or "accepted" without its data): not a sign-in.
    if (reply) platform::log("TolbaLog:sign-in reply has no readable \"c\" dictionary; treated as unreadable");
    PanelPresenter::current().showWarning("接口异常");
    payload[kTolbaSDKKeyError] = kTolbaResultLoginFailed;
    age = "-1";
  } else if (accepted) {
    payload[kTolbaSDKKeyError] = kTolbaResultOk;
    auto take = [&](const char* key, Json& field) {
      const Json* v = platform::find(*data, key);
      field = v ? *v : Json();
      if (v) payload[key] = *v;
    };
    take("username", username_);
    take("token", token_);
    take("logintime", logintime_);
    // A minor's sign-in carries the seconds of play the server allows today.
    if (const Json* left = platform::find(*data, "playleft"); platform::isPresent(left)) {
      playLeft = platform::intValue(left);
    }
    const Json* ageValue = platform::find(*data, "age");
    age = platform::isPresent(ageValue) ? platform::describe(*ageValue) : std::string();
    if (age.empty()) age = "-1";
  } else {
    const auto msg = replyText(*reply, "b");
    PanelPresenter::current().showWarning(msg);
    payload[kTolbaSDKKeyError] = kTolbaResultSignInRefused;
    if (msg) payload[kTolbaSDKKeyMsg] = *msg;
    age = "-1";
    // Refused for the minors' play time: the game can tell it from any other refusal.
    resumeGame = platform::stringValue(platform::find(*reply, "limit")) != "playtime";
  }
  const bool signedIn = payload[kTolbaSDKKeyError] == kTolbaResultOk;
  sendTolbaLoginNoti(std::move(payload));
  setRealInfoWithAge(age, resumeGame);
  if (signedIn) {
    if (playLeft) {
      startPlayTime(*playLeft);
    } else {
      playTime_.stop();  // an adult now: no limit
    }
    settleUnsettledOrders();
  }
}

void TolbaSDKCore::startPlayTime(std::int64_t secondsLeft) {
  logLine("未成年人今日剩余游戏时间 " + std::to_string(secondsLeft) + " 秒");
  std::weak_ptr<TolbaSDKCore> weak = weak_from_this();
  playTime_.start(
      secondsLeft,
      [weak](std::int64_t left) {
        auto self = weak.lock();
        if (!self) return;
        const std::string msg = "距离今日游戏时间结束还有" + minutesText(left);
        PanelPresenter::current().showWarning(msg);
        self->sendTolbaPlayTimeNoti({{kTolbaSDKKeyError, kTolbaResultOk}, {kTolbaSDKKeyMsg, msg}, {"playleft", left}});
      },
      [weak] {
        auto self = weak.lock();
        if (!self) return;
        logLine("未成年人今日游戏时间已结束");
        PanelPresenter::current().showPlayTimeOverPanel();
        self->sendTolbaPlayTimeNoti(
            {{kTolbaSDKKeyError, kTolbaResultPlayTimeOver}, {kTolbaSDKKeyMsg, "今日游戏时间已结束"}, {"playleft", 0}});
        self->logout();
      });
}

void TolbaSDKCore::setRealInfoWithAge(const std::string& age, bool resumeGame) {
  Json info = realNameDictionary("成功", age == "-1" ? "0" : "1", age, resumeGame);
  realNameInfo_ = info;
  sendTolbaRealNoti(std::move(info));
}

std::int32_t TolbaSDKCore::logout() {
  if (!SDKIsInit_) return kTolbaResultNotInitialised;
  if (username_.is_null()) return kTolbaResultNotSignedIn;
  realNameInfo_.reset();
  playTime_.stop();
  PanelPresenter::current().hideFloatButton();
  sendTolbaLogoutNoti({{kTolbaSDKKeyError, kTolbaResultOk}});
  return 0;
}

}  // namespace tolba
