// Fuzz target of the reply handlers: every server reply the player or the game
// waits on, with a decoded dictionary of any shape (or one that does not
// decode), reached through the facade and the panels as a game and a player
// reach them, on a manual clock.
//
// Input: one byte choosing the endpoint whose reply is fuzzed, then the reply:
// JSON text (sent in the wire format when it is an object or an array; any
// other bytes are sent as they are, and normally do not decode). Every other
// endpoint answers as a server that accepts everything would. The player logs
// in (registering first when the register reply is fuzzed), passes the
// real-name check when asked, and then pays with coins or WeChat, or logs out.
//
// Checked: nothing crashes, the game hears each outcome at most once, and no
// request leaves the process (the transport is replaced; web pages go to a
// proxy that refuses them).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "net/TolbaDataFunc.h"
#include "net/http_client.h"
#include "sdk/process_reset.h"
#include "tolba/TolbaSDK.h"
#include "tolba/TolbaSDKGameRoleInfo.h"
#include "tolba/TolbaSDKInitConfig.h"
#include "tolba/TolbaSDKPayOrderInfo.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/clock.h"
#include "tolba/platform/notification_center.h"
#include "tolba/platform/property_list.h"
#include "tolba/platform/reachability.h"
#include "tolba/platform/run_loop.h"
#include "tolba/player/find_view.h"
#include "toolkit/application.h"
#include "toolkit/window.h"
#include "ui/TolbaLoginView.h"
#include "ui/TolbaPayView.h"
#include "ui/TolbaRealView.h"

namespace {

using namespace tolba;
using Json = nlohmann::json;

enum Endpoint { Login, Register, RealName, SignIn, Order, Balance, CoinPay, WeChatOrder, Logout, kEndpoints };

const char* const kPaths[kEndpoints] = {
    "sdkmini/login/dologin",   "sdkmini/login/register", "sdkmini/login/idcheck",
    "sdkstandard/login/index", "sdkstandard/pay/index",  "sdkmini/pay/getPayWay",
    "sdkmini/ttbpay/ttbnew",   "sdkmini/wxh5/h5pay",     "sdkstandard/login/logout",
};

// The replies of a server that accepts everything.
Json acceptingReply(const std::string& path, bool verified) {
  if (path == "sdkmini/login/dologin") {
    return {{"z", 1}, {"b", "10001"}, {"e", "1700000000"}, {"d", "sign"}, {"nrz", verified ? 1 : 0}};
  }
  if (path == "sdkmini/login/register") return {{"z", 1}, {"b", "10001"}, {"d", "注册成功"}};
  if (path == "sdkmini/login/idcheck") return {{"z", 1}, {"nrz", 1}, {"msg", "认证成功"}};
  if (path == "sdkstandard/login/index") {
    return {
        {"a", 1}, {"b", "登录成功"}, {"c", {{"username", "tb10001"}, {"token", "t"}, {"logintime", "1"}, {"age", 30}}}};
  }
  if (path == "sdkstandard/pay/index") return {{"a", 1}, {"b", "下单成功"}, {"c", {{"orderid", "o-1"}}}};
  if (path == "sdkmini/pay/getPayWay") return {{"code", 1}, {"ttb", 100}, {"wx", 1}};
  if (path == "sdkmini/ttbpay/ttbnew") return {{"z", 1}, {"c", "支付成功"}, {"ttb", 94}};
  // A payment page that hands over to WeChat at once, without a fetch.
  if (path == "sdkmini/wxh5/h5pay") return {{"z", 1}, {"b", "weixin://wap/pay?prepayid=fuzz"}};
  return {{"a", 1}, {"b", "成功"}};
}

struct World {
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  std::shared_ptr<platform::Window> window;
  std::map<std::string, int> heard;  // notifications to the game, by name
  std::vector<platform::ScopedObserver> observers;
};

class UpService final : public platform::ReachabilityService {
  class Handle final : public platform::ReachabilityHandle {
   public:
    bool getFlags(std::uint32_t& flags) override {
      flags = platform::reach::Reachable;
      return true;
    }
    bool setCallback(Callback) override { return true; }
    bool setDispatchQueue(platform::SerialQueue*) override { return true; }
  };

 public:
  std::unique_ptr<platform::ReachabilityHandle> createWithName(const std::string&) override {
    return std::make_unique<Handle>();
  }
  std::unique_ptr<platform::ReachabilityHandle> createWithAddress(const sockaddr*) override {
    return std::make_unique<Handle>();
  }
};

World& setUpOnce() {
  static World* world = [] {
    // Web pages named by a fuzzed reply go to a proxy that is not there.
    ::setenv("http_proxy", "http://127.0.0.1:9", 1);
    ::setenv("https_proxy", "http://127.0.0.1:9", 1);
    ::setenv("HTTP_PROXY", "http://127.0.0.1:9", 1);
    ::setenv("HTTPS_PROXY", "http://127.0.0.1:9", 1);
    ::setenv("ALL_PROXY", "http://127.0.0.1:9", 1);
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");
    fuzz::silenceLog();
    auto* w = new World();
    const auto bundle = fuzz::scratchFolder() / "bundle";
    std::filesystem::create_directories(bundle);
    std::ofstream(bundle / "Tolba.plist") << platform::writeXmlPropertyList(
        {{"url", "http://127.0.0.1:9"}, {"gameid", "1001"}, {"channel", "cps001"}, {"islandscape", "0"}});
    platform::setBundleDirectory(bundle.string());
    platform::setDataDirectory((fuzz::scratchFolder() / "data").string());
    platform::ReachabilityService::setCurrent(std::make_shared<UpService>());
    return w;
  }();
  return *world;
}

void drain() { platform::RunLoop::main().drain(); }
void advance(double seconds) { platform::RunLoop::main().runFor(platform::Duration(seconds)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  World& world = setUpOnce();
  const auto endpoint = static_cast<Endpoint>(data[0] % kEndpoints);
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string fuzzedBody = text;
  const auto parsed = Json::parse(text, nullptr, false);
  if (!parsed.is_discarded() && (parsed.is_object() || parsed.is_array())) {
    fuzzedBody = TolbaDataFunc::codingReplyJSON(parsed).value_or(text);
  }
  const bool verified = endpoint != RealName;
  HttpClient::shared().setExchange([&](const HttpClient::Request& request) {
    HttpClient::Outcome outcome;
    outcome.ok = true;
    outcome.status = 200;
    const auto slash = request.url.find('/', request.url.find("//") + 2);
    const std::string path = slash == std::string::npos ? std::string() : request.url.substr(slash + 1);
    outcome.body = path == kPaths[endpoint]
                       ? fuzzedBody
                       : TolbaDataFunc::codingReplyJSON(acceptingReply(path, verified)).value_or(std::string());
    return outcome;
  });

  // A fresh game: run loop, application, key window, SDK.
  resetProcessState(world.clock);
  auto& app = platform::Application::shared();
  app.setMainScreenBounds({{0, 0}, {375, 667}});
  app.registerSchemeHandler("weixin", [](const std::string&) {
    platform::postToMain([] { platform::Application::shared().becomeActive(); });
    return true;
  });
  world.window = std::make_shared<platform::Window>(app.mainScreenBounds());
  world.window->setRootView(std::make_shared<platform::View>());
  world.window->makeKeyAndVisible();
  world.heard.clear();
  world.observers.clear();
  auto& center = platform::NotificationCenter::defaultCenter();
  for (const char* name : {kTolbaSDKNotiLogin, kTolbaSDKNotiLogout, kTolbaSDKNotiRecharge, kTolbaSDKNotiRealAuth}) {
    world.observers.emplace_back(center, center.addObserver(name, nullptr, [&world](const platform::Notification& n) {
      ++world.heard[n.name];
    }));
  }

  auto sdk = TolbaSDK::defaultInstance();
  auto config = std::make_shared<TolbaSDKInitConfig>();
  config->setGameid("1001");
  sdk->initWithConfig(config, &app, Json::object());
  drain();

  // The player logs in (or registers), and passes the real-name check if asked.
  sdk->login();
  drain();
  if (auto panel = player::findView<TolbaLoginView>()) {
    if (endpoint == Register) {
      if (auto mode = panel->statusBtn()) panel->goToOtherView(*mode);
    }
    if (auto name = panel->nameF()) name->setText("fuzzer");
    if (auto pwd = panel->pwdF()) pwd->setText("password");
    if (auto consent = panel->boxBtn()) consent->setOn(true);
    panel->doViewLogin();
    drain();
  }
  if (auto real = player::findView<TolbaRealView>()) {
    if (auto name = real->nameF()) name->setText("张三");
    if (auto code = real->codeF()) code->setText("110105199003071239");
    real->doCommit();
    drain();
  }
  advance(2);

  if (endpoint == Logout) {
    sdk->logout();
    drain();
  } else if (endpoint >= Order) {
    auto order = std::make_shared<TolbaSDKPayOrderInfo>();
    order->setCpOrderID("cp-1");
    order->setProductName("60钻石");
    order->setGoodsID("gems60");
    order->setAmount(6);
    order->setCount(1);
    auto role = std::make_shared<TolbaSDKGameRoleInfo>();
    role->setServerId("1");
    role->setGameRoleID("r-1");
    sdk->payOrderInfo(order, role);
    drain();
    if (auto pay = player::findView<TolbaPayView>()) {
      if (endpoint == WeChatOrder) {
        pay->doWxPay();
      } else {
        pay->doPtbPay();
      }
      drain();
      advance(2);
      app.becomeActive();  // the player comes back to the game, whatever happened
      drain();
    }
  }
  advance(10);  // toasts fade, panels close

  for (const auto& [name, count] : world.heard) fuzz::check(count <= 1);
  HttpClient::shared().setExchange(nullptr);
  return 0;
}
