// The C interface over the facade: handles, notifications, the facade's calls,
// application events, the version and the log sink (the screen layer's calls are
// in tolba_host_c.cpp).
#include <mutex>

#include "capi/c_handle.h"
#include "capi/c_records.h"
#include "tolba/TolbaSDK.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/run_loop.h"

using tolba::TolbaSDK;
using tolba::capi::checkText;
using tolba::capi::guarded;
using tolba::capi::parseObject;
using tolba::capi::refuse;
using tolba::capi::setOut;
using Json = nlohmann::json;

namespace {

TolbaSDK& facade() { return *TolbaSDK::defaultInstance(); }

const char* const kNotificationNames[] = {tolba::kTolbaSDKNotiInitDidFinished, tolba::kTolbaSDKNotiLogin,
                                          tolba::kTolbaSDKNotiLogout,          tolba::kTolbaSDKNotiRecharge,
                                          tolba::kTolbaSDKNotiRealAuth,        tolba::kTolbaSDKNotiPlayTime};

}  // namespace

extern "C" {

// The C codes are the facade's own.
static_assert(TOLBA_OK == tolba::kTolbaResultOk);
static_assert(TOLBA_ERR_LOGIN_FAILED == tolba::kTolbaResultLoginFailed);
static_assert(TOLBA_ERR_SIGN_IN_REFUSED == tolba::kTolbaResultSignInRefused);
static_assert(TOLBA_ERR_INIT_REFUSED == tolba::kTolbaResultInitRefused);
static_assert(TOLBA_ERR_NOT_INITIALISED == tolba::kTolbaResultNotInitialised);
static_assert(TOLBA_ERR_REAL_AUTH == tolba::kTolbaResultRealAuth);
static_assert(TOLBA_ERR_NOT_SIGNED_IN == tolba::kTolbaResultNotSignedIn);
static_assert(TOLBA_ERR_PLAY_TIME_OVER == tolba::kTolbaResultPlayTimeOver);
static_assert(TOLBA_ERR_PAY_FAILED == tolba::kTolbaResultPayFailed);
static_assert(TOLBA_ERR_PAY_CANCELLED == tolba::kTolbaResultPayCancelled);

const char* tolba_result_name(int32_t result) {
  switch (result) {
    case TOLBA_OK: return "TOLBA_OK";
    case TOLBA_ERR_LOGIN_FAILED: return "TOLBA_ERR_LOGIN_FAILED";
    case TOLBA_ERR_SIGN_IN_REFUSED: return "TOLBA_ERR_SIGN_IN_REFUSED";
    case TOLBA_ERR_INIT_REFUSED: return "TOLBA_ERR_INIT_REFUSED";
    case TOLBA_ERR_NOT_INITIALISED: return "TOLBA_ERR_NOT_INITIALISED";
    case TOLBA_ERR_REAL_AUTH: return "TOLBA_ERR_REAL_AUTH";
    case TOLBA_ERR_NOT_SIGNED_IN: return "TOLBA_ERR_NOT_SIGNED_IN";
    case TOLBA_ERR_PLAY_TIME_OVER: return "TOLBA_ERR_PLAY_TIME_OVER";
    case TOLBA_ERR_PAY_FAILED: return "TOLBA_ERR_PAY_FAILED";
    case TOLBA_ERR_PAY_CANCELLED: return "TOLBA_ERR_PAY_CANCELLED";
    case TOLBA_ERR_NULL_ARGUMENT: return "TOLBA_ERR_NULL_ARGUMENT";
    case TOLBA_ERR_INVALID_UTF8: return "TOLBA_ERR_INVALID_UTF8";
    case TOLBA_ERR_INVALID_JSON: return "TOLBA_ERR_INVALID_JSON";
    case TOLBA_ERR_INVALID_ARGUMENT: return "TOLBA_ERR_INVALID_ARGUMENT";
    case TOLBA_ERR_WRONG_THREAD: return "TOLBA_ERR_WRONG_THREAD";
    case TOLBA_ERR_BUFFER_TOO_SMALL: return "TOLBA_ERR_BUFFER_TOO_SMALL";
    case TOLBA_ERR_NO_RENDERER: return "TOLBA_ERR_NO_RENDERER";
    case TOLBA_ERR_INTERNAL: return "TOLBA_ERR_INTERNAL";
    default: return "TOLBA_UNKNOWN_RESULT";
  }
}

int32_t tolba_version(void) { return TOLBA_VERSION; }
const char* tolba_version_string(void) { return TOLBA_VERSION_STRING; }

int32_t tolba_set_log_sink(tolba_log_fn sink, void* user_data) {
  if (sink == nullptr) {
    tolba::platform::setLogSink(nullptr);
    return TOLBA_OK;
  }
  tolba::platform::setLogSink([sink, user_data](const std::string& line) { sink(line.c_str(), user_data); });
  return TOLBA_OK;
}

int32_t tolba_sdk_create(tolba_sdk** out_sdk) {
  if (out_sdk == nullptr) return refuse("tolba_sdk_create", TOLBA_ERR_NULL_ARGUMENT, "out_sdk is NULL");
  *out_sdk = nullptr;
  try {
    auto* sdk = new tolba_sdk();
    sdk->owner = std::this_thread::get_id();
    auto& center = tolba::platform::NotificationCenter::defaultCenter();
    for (const char* name : kNotificationNames) {
      const auto token = center.addObserver(name, nullptr, [sdk](const tolba::platform::Notification& n) {
        if (sdk->notificationFn == nullptr) return;
        const std::string payload = (n.userInfo.is_object() ? n.userInfo : Json::object()).dump();
        sdk->notificationFn(n.name.c_str(), payload.c_str(), sdk->notificationData);
      });
      sdk->observers.emplace_back(center, token);
    }
    *out_sdk = sdk;
    return TOLBA_OK;
  } catch (...) {
    return refuse("tolba_sdk_create", TOLBA_ERR_INTERNAL, "failed");
  }
}

int32_t tolba_sdk_destroy(tolba_sdk* sdk) {
  if (sdk == nullptr) return TOLBA_OK;
  return guarded(sdk, "tolba_sdk_destroy", [&]() -> int32_t {
    tolba::capi::detachHost(sdk);
    delete sdk;
    return TOLBA_OK;
  });
}

int32_t tolba_sdk_set_directories(tolba_sdk* sdk, const char* bundle_dir, const char* data_dir) {
  return guarded(sdk, "tolba_sdk_set_directories", [&]() -> int32_t {
    for (auto [name, dir] : {std::pair{"bundle_dir", bundle_dir}, std::pair{"data_dir", data_dir}}) {
      if (dir == nullptr) continue;
      if (const int32_t r = checkText("tolba_sdk_set_directories", name, dir); r != TOLBA_OK) return r;
    }
    if (bundle_dir) tolba::platform::setBundleDirectory(bundle_dir);
    if (data_dir) tolba::platform::setDataDirectory(data_dir);
    return TOLBA_OK;
  });
}

int32_t tolba_sdk_tick(tolba_sdk* sdk, int32_t* out_ran) {
  return guarded(sdk, "tolba_sdk_tick", [&]() -> int32_t {
    setOut(out_ran, static_cast<int32_t>(tolba::platform::RunLoop::main().tick()));
    return TOLBA_OK;
  });
}

int32_t tolba_sdk_set_notification_callback(tolba_sdk* sdk, tolba_notification_fn callback, void* user_data) {
  return guarded(sdk, "tolba_sdk_set_notification_callback", [&]() -> int32_t {
    sdk->notificationFn = callback;
    sdk->notificationData = user_data;
    return TOLBA_OK;
  });
}

int32_t tolba_sdk_init(tolba_sdk* sdk, const char* config_json) {
  return guarded(sdk, "tolba_sdk_init", [&]() -> int32_t {
    int32_t result = TOLBA_OK;
    const auto object = parseObject("tolba_sdk_init", "config_json", config_json, &result);
    if (!object) return result;
    std::string why;
    auto config = tolba::capi::initConfigFromJson(*object, &why);
    if (!config) return refuse("tolba_sdk_init", TOLBA_ERR_INVALID_ARGUMENT, "config_json: " + why);
    return facade().initWithConfig(std::move(config), nullptr, nullptr);
  });
}

int32_t tolba_sdk_login(tolba_sdk* sdk) {
  return guarded(sdk, "tolba_sdk_login", []() -> int32_t { return facade().login(); });
}
int32_t tolba_sdk_logout(tolba_sdk* sdk) {
  return guarded(sdk, "tolba_sdk_logout", []() -> int32_t { return facade().logout(); });
}
int32_t tolba_sdk_real_auth(tolba_sdk* sdk) {
  return guarded(sdk, "tolba_sdk_real_auth", []() -> int32_t { return facade().realAuth(); });
}

int32_t tolba_sdk_session(tolba_sdk* sdk, char* buffer, size_t capacity, size_t* out_length) {
  return guarded(sdk, "tolba_sdk_session", [&]() -> int32_t {
    Json session = Json::object();
    if (auto v = facade().username()) session["username"] = *v;
    if (auto v = facade().token()) session["token"] = *v;
    if (auto v = facade().logintime()) session["logintime"] = *v;
    if (auto v = facade().realNameInfo()) session["realNameInfo"] = *v;
    return tolba::capi::copyOut(session.dump(), buffer, capacity, out_length);
  });
}

int32_t tolba_sdk_update_role(tolba_sdk* sdk, const char* role_json, int32_t is_create) {
  return guarded(sdk, "tolba_sdk_update_role", [&]() -> int32_t {
    int32_t result = TOLBA_OK;
    const auto object = parseObject("tolba_sdk_update_role", "role_json", role_json, &result);
    if (!object) return result;
    std::string why;
    auto role = tolba::capi::roleFromJson(*object, &why);
    if (!role) return refuse("tolba_sdk_update_role", TOLBA_ERR_INVALID_ARGUMENT, "role_json: " + why);
    facade().updateRoleInfoWith(std::move(role), is_create != 0);
    return TOLBA_OK;
  });
}

int32_t tolba_sdk_pay(tolba_sdk* sdk, const char* order_json, const char* role_json) {
  return guarded(sdk, "tolba_sdk_pay", [&]() -> int32_t {
    int32_t result = TOLBA_OK;
    const auto orderObject = parseObject("tolba_sdk_pay", "order_json", order_json, &result);
    if (!orderObject) return result;
    const auto roleObject = parseObject("tolba_sdk_pay", "role_json", role_json, &result);
    if (!roleObject) return result;
    std::string why;
    auto order = tolba::capi::orderFromJson(*orderObject, &why);
    if (!order) return refuse("tolba_sdk_pay", TOLBA_ERR_INVALID_ARGUMENT, "order_json: " + why);
    auto role = tolba::capi::roleFromJson(*roleObject, &why);
    if (!role) return refuse("tolba_sdk_pay", TOLBA_ERR_INVALID_ARGUMENT, "role_json: " + why);
    return facade().payOrderInfo(std::move(order), std::move(role));
  });
}

int32_t tolba_sdk_show_toolbar(tolba_sdk* sdk, int32_t place) {
  return guarded(sdk, "tolba_sdk_show_toolbar", [&]() -> int32_t { return facade().showToolBar(place); });
}
int32_t tolba_sdk_hide_toolbar(tolba_sdk* sdk) {
  return guarded(sdk, "tolba_sdk_hide_toolbar", []() -> int32_t { return facade().hideToolBar(); });
}
int32_t tolba_sdk_enter_user_center(tolba_sdk* sdk) {
  return guarded(sdk, "tolba_sdk_enter_user_center", []() -> int32_t { return facade().enterUserCenter(); });
}

int32_t tolba_sdk_supported_orientations(tolba_sdk* sdk, uint32_t* out_mask) {
  return guarded(sdk, "tolba_sdk_supported_orientations", [&]() -> int32_t {
    const auto mask = facade().applicationSupportedInterfaceOrientationsForWindow(nullptr, nullptr);
    if (out_mask) *out_mask = static_cast<uint32_t>(mask);
    return TOLBA_OK;
  });
}

int32_t tolba_sdk_application_event(tolba_sdk* sdk, int32_t event, int32_t* out_handled) {
  return guarded(sdk, "tolba_sdk_application_event", [&]() -> int32_t {
    bool handled = false;
    switch (event) {
      case TOLBA_APP_WILL_RESIGN_ACTIVE: handled = facade().applicationWillResignActive(nullptr); break;
      case TOLBA_APP_DID_ENTER_BACKGROUND:
        handled = facade().applicationDidEnterBackground(nullptr);
        tolba::capi::hostDidEnterBackground();
        break;
      case TOLBA_APP_WILL_ENTER_FOREGROUND: handled = facade().applicationWillEnterForeground(nullptr); break;
      case TOLBA_APP_DID_BECOME_ACTIVE:
        handled = facade().applicationDidBecomeActive(nullptr);
        tolba::capi::hostDidBecomeActive();
        break;
      case TOLBA_APP_WILL_TERMINATE: handled = facade().applicationWillTerminate(nullptr); break;
      default:
        return refuse("tolba_sdk_application_event", TOLBA_ERR_INVALID_ARGUMENT,
                      "unknown event " + std::to_string(event));
    }
    setOut(out_handled, handled ? 1 : 0);
    return TOLBA_OK;
  });
}

int32_t tolba_sdk_open_url(tolba_sdk* sdk, const char* url, const char* source_app, const char* options_json,
                           int32_t* out_handled) {
  return guarded(sdk, "tolba_sdk_open_url", [&]() -> int32_t {
    if (const int32_t r = checkText("tolba_sdk_open_url", "url", url); r != TOLBA_OK) return r;
    if (source_app) {
      if (const int32_t r = checkText("tolba_sdk_open_url", "source_app", source_app); r != TOLBA_OK) return r;
    }
    Json options = Json::object();
    if (options_json) {
      int32_t result = TOLBA_OK;
      auto parsed = parseObject("tolba_sdk_open_url", "options_json", options_json, &result);
      if (!parsed) return result;
      options = std::move(*parsed);
    }
    const bool handled = source_app
                             ? facade().openURLSourceApplicationApplicationAnnotation(url, source_app, nullptr, options)
                             : facade().openURLApplicationOptions(url, nullptr, options);
    setOut(out_handled, handled ? 1 : 0);
    return TOLBA_OK;
  });
}

int32_t tolba_sdk_remote_notification(tolba_sdk* sdk, int32_t event, const char* text, int32_t* out_handled) {
  return guarded(sdk, "tolba_sdk_remote_notification", [&]() -> int32_t {
    bool handled = false;
    int32_t result = TOLBA_OK;
    switch (event) {
      case TOLBA_REMOTE_DEVICE_TOKEN:
      case TOLBA_REMOTE_REGISTRATION_FAILED:
        if ((result = checkText("tolba_sdk_remote_notification", "text", text)) != TOLBA_OK) return result;
        handled = event == TOLBA_REMOTE_DEVICE_TOKEN
                      ? facade().applicationDidRegisterForRemoteNotificationsWithDeviceToken(nullptr, text)
                      : facade().applicationDidFailToRegisterForRemoteNotificationsWithError(nullptr, text);
        break;
      case TOLBA_REMOTE_RECEIVED: {
        const auto userInfo = parseObject("tolba_sdk_remote_notification", "text", text, &result);
        if (!userInfo) return result;
        handled = facade().applicationDidReceiveRemoteNotification(nullptr, *userInfo);
        break;
      }
      default:
        return refuse("tolba_sdk_remote_notification", TOLBA_ERR_INVALID_ARGUMENT,
                      "unknown event " + std::to_string(event));
    }
    setOut(out_handled, handled ? 1 : 0);
    return TOLBA_OK;
  });
}

int32_t tolba_sdk_continue_user_activity(tolba_sdk* sdk, const char* activity_json, int32_t* out_handled) {
  return guarded(sdk, "tolba_sdk_continue_user_activity", [&]() -> int32_t {
    int32_t result = TOLBA_OK;
    const auto activity = parseObject("tolba_sdk_continue_user_activity", "activity_json", activity_json, &result);
    if (!activity) return result;
    const bool handled = facade().applicationContinueUserActivityRestorationHandler(nullptr, *activity, nullptr);
    setOut(out_handled, handled ? 1 : 0);
    return TOLBA_OK;
  });
}

}  // extern "C"
