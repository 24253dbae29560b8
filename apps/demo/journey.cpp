#include "journey.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "net/http_client.h"
#include "net/order_state_query.h"
#include "net/traffic_observer.h"
#include "sandbox_server.h"
#include "tolba/TolbaSDK.h"
#include "tolba/TolbaSDKGameRoleInfo.h"
#include "tolba/TolbaSDKInitConfig.h"
#include "tolba/TolbaSDKPayOrderInfo.h"
#include "tolba/platform/log.h"
#include "tolba/platform/notification_center.h"
#include "tolba/platform/run_loop.h"
#include "tolba/platform/value.h"
#include "tolba/player/find_view.h"
#include "tolba/player/player.h"
#include "toolkit/application.h"
#include "toolkit/button.h"
#include "toolkit/label.h"
#include "toolkit/switch.h"
#include "toolkit/text_field.h"
#include "toolkit/window.h"
#include "ui/TolbaAgreementView.h"
#include "ui/TolbaFloatView.h"
#include "ui/TolbaLoginView.h"
#include "ui/TolbaPayView.h"
#include "ui/TolbaRealView.h"

namespace tolba::demo {
namespace {

using Json = nlohmann::json;
using player::Player;

constexpr const char* kPassword = kDemoPassword;
constexpr char kRealName[] = "张三";
// A valid identity card number of an adult (born 1990-03-07).
constexpr char kIdCard[] = "110105199003071239";
// Characters in UTF-8 text (its bytes that begin one).
std::size_t utf8Characters(const std::string& text) {
  std::size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// Longest wait for one step (a server round trip or two).
constexpr double kStepSeconds = 15;

std::string freshAccountName() {
  std::random_device device;
  std::mt19937_64 generator(device() ^
                            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  char name[32];
  std::snprintf(name, sizeof name, "demo%08llx", static_cast<unsigned long long>(generator() & 0xffffffffULL));
  return name;
}

struct Received {
  std::string name;
  Json payload;
  bool consumed = false;
};

class Journey {
 public:
  Journey(Timeline& timeline, const JourneyOptions& options) : timeline_(timeline), options_(options) {}

  bool run();
  // A 12-year-old's evening: signed in, one payment over the cap refused, one
  // within it paid, warned a minute before the end and signed out at the end.
  bool runMinor();

 private:
  // --- the parts of the session
  bool setUpGame();
  bool initialise();
  bool registerAndVerify();
  bool reportRole();
  bool payWithCoins();
  bool payWithWeChat();
  bool cancelInWeChat();
  bool switchAccount();
  bool logInAgain();
  bool logOut();

  // --- helpers
  // Opens the login panel and submits the demo account, in register or login mode.
  bool submitAccount(bool registering);
  // Submits an order and waits for the pay centre to show the balance.
  std::shared_ptr<TolbaPayView> openPayCentre(const std::string& cpOrderId, const std::string& product,
                                              const std::string& goodsId, float amount);
  bool tapButton(const std::shared_ptr<platform::Button>& button);
  // The game hears of a successful payment and the pay centre closes.
  bool paid();
  bool waitUntil(const std::string& what, const std::function<bool()>& done, double seconds = kStepSeconds);
  // Waits for the next notification `name` since the step began and checks its
  // "error"; the payload, or nullopt after a failure.
  std::optional<Json> expectNotification(const char* name, long long error) {
    return expectNotificationWithin(name, error, kStepSeconds);
  }
  std::optional<Json> expectNotificationWithin(const char* name, long long error, double seconds);
  void beginStep() { stepStart_ = received_.size(); }
  bool tap(platform::View* view, const std::string& what);
  bool type(platform::TextField* field, const std::string& text, const std::string& what);
  bool sawReply(const std::string& path) const;
  void snapshot(const std::string& step) {
    if (options_.snapshot) options_.snapshot(step);
  }
  // Turns the screen and waits until `panel` has rebuilt its box for the new shape.
  bool rotate(std::int64_t orientation, const std::shared_ptr<TolbaBaseView>& panel);
  // Opens the user agreement from the login panel, looks at it and goes back.
  bool readAgreement(const std::shared_ptr<TolbaLoginView>& panel);
  template <class Panel>
  static std::shared_ptr<Panel> findPanel() {
    return player::findView<Panel>();
  }

  Timeline& timeline_;
  // Whether the stand-in WeChat pays the order or the player cancels there.
  bool weChatPays_ = true;
  JourneyOptions options_;
  std::shared_ptr<TolbaSDK> sdk_;
  std::shared_ptr<platform::Window> gameWindow_;
  std::vector<platform::ScopedObserver> observers_;
  std::vector<Received> received_;
  std::size_t stepStart_ = 0;
  std::vector<TrafficEvent> traffic_;
  std::string account_ = freshAccountName();
  std::shared_ptr<TolbaSDKGameRoleInfo> role_;
};

bool Journey::waitUntil(const std::string& what, const std::function<bool()>& done, double seconds) {
  if (platform::RunLoop::main().runUntil(done, platform::Duration(seconds))) return true;
  timeline_.failure(what + " did not happen within " + std::to_string(static_cast<int>(seconds)) + " s");
  return false;
}

std::optional<Json> Journey::expectNotificationWithin(const char* name, long long error, double seconds) {
  Received* found = nullptr;
  auto seen = [&] {
    for (std::size_t i = stepStart_; i < received_.size(); ++i) {
      if (!received_[i].consumed && received_[i].name == name) {
        found = &received_[i];
        return true;
      }
    }
    return false;
  };
  if (!waitUntil(std::string("the game receiving ") + name, seen, seconds)) return std::nullopt;
  found->consumed = true;
  const auto got = platform::intValue(platform::find(found->payload, kTolbaSDKKeyError));
  if (got != error) {
    timeline_.failure(std::string(name) + " came with error " + std::to_string(got) + ", expected " +
                      std::to_string(error));
    return std::nullopt;
  }
  return found->payload;
}

bool Journey::tap(platform::View* view, const std::string& what) {
  // A player waits for a toast over the control to fade before tapping.
  if (view && !Player::canTap(*view)) {
    platform::RunLoop::main().runUntil([view] { return Player::canTap(*view); }, platform::Duration(5));
  }
  timeline_.action("taps " + what);
  if (view && Player::tap(*view)) return true;
  timeline_.failure("could not tap " + what + (view ? " (something covers it)" : " (it is not on the screen)"));
  return false;
}

bool Journey::type(platform::TextField* field, const std::string& text, const std::string& what) {
  // Only an account name is shown; passwords, names and identity card numbers
  // are not, as in the logs.
  if (what == "the account field") {
    timeline_.action("types \"" + text + "\" into " + what);
  } else {
    timeline_.action("types " + std::to_string(utf8Characters(text)) + " characters into " + what);
  }
  if (field && Player::type(*field, text)) return true;
  timeline_.failure("could not type into " + what);
  return false;
}

bool Journey::sawReply(const std::string& path) const {
  for (const auto& event : traffic_) {
    if (event.path == path && event.kind != TrafficEvent::Kind::request) return true;
  }
  return false;
}

bool Journey::run() {
  return setUpGame() && initialise() && registerAndVerify() && reportRole() && payWithCoins() && payWithWeChat() &&
         cancelInWeChat() && switchAccount() && logInAgain() && logOut();
}

bool Journey::runMinor() {
  account_ = options_.minorAccount;
  if (!setUpGame() || !initialise()) return false;
  timeline_.section(options_.outsideWindow ? "A 12-year-old tries to play on a Tuesday afternoon"
                                           : "A 12-year-old plays on a Friday evening, 70 s before 21:00");
  if (!submitAccount(false)) return false;
  if (options_.outsideWindow) {
    const auto login = expectNotification(kTolbaSDKNotiLogin, -3);
    const auto real = expectNotification(kTolbaSDKNotiRealAuth, 0);
    if (!login || !real) return false;
    if (platform::stringValue(platform::find(*real, "isResumeGame")) != "0") {
      timeline_.failure("the real-name notification did not say the play time refused the sign-in");
      return false;
    }
    timeline_.note("refused at sign-in: " +
                   platform::describeOrNil(platform::stringValue(platform::find(*login, "msg"))));
    return true;
  }
  if (!expectNotification(kTolbaSDKNotiLogin, 0) || !expectNotification(kTolbaSDKNotiRealAuth, 0)) return false;
  role_ = std::make_shared<TolbaSDKGameRoleInfo>();
  role_->setServerId("1");
  role_->setGameRoleID("r-" + account_);
  role_->setGameRoleName("小明");

  timeline_.section("The player tries to buy 60 yuan of gems: over a minor's cap");
  beginStep();
  auto dear = std::make_shared<TolbaSDKPayOrderInfo>();
  dear->setCpOrderID("cp-" + account_ + "-60");
  dear->setProductName("600钻石");
  dear->setAmount(60);
  dear->setCount(1);
  if (sdk_->payOrderInfo(dear, role_) != 0) return false;
  const auto refused = expectNotification(kTolbaSDKNotiRecharge, -400);
  if (!refused) return false;
  timeline_.note("the server refused it: " +
                 platform::describeOrNil(platform::stringValue(platform::find(*refused, "msg"))));

  timeline_.section("The player buys 30 yuan of gems: within the cap");
  auto panel = openPayCentre("cp-" + account_ + "-30", "300钻石", "gems300", 30);
  if (!panel || !tapButton(panel->ptbBtn()) || !paid()) return false;

  timeline_.section("The play time runs out");
  beginStep();
  const auto warning = expectNotificationWithin(kTolbaSDKNotiPlayTime, 0, 80);
  if (!warning) return false;
  const auto end = expectNotificationWithin(kTolbaSDKNotiPlayTime, -302, 70);
  if (!end || !expectNotification(kTolbaSDKNotiLogout, 0)) return false;
  timeline_.note("the player was signed out; the panel \"今日游戏时间已结束\" stays over the game");
  snapshot("play-time-over");
  return true;
}

bool Journey::setUpGame() {
  auto& app = platform::Application::shared();
  app.setMainScreenBounds({{0, 0}, {375, 667}});
  gameWindow_ = std::make_shared<platform::Window>(app.mainScreenBounds());
  gameWindow_->setRootView(std::make_shared<platform::View>());
  gameWindow_->makeKeyAndVisible();

  setTrafficObserver([this](const TrafficEvent& event) {
    traffic_.push_back(event);
    timeline_.traffic(event);
  });
  auto& center = platform::NotificationCenter::defaultCenter();
  for (const char* name : {kTolbaSDKNotiInitDidFinished, kTolbaSDKNotiLogin, kTolbaSDKNotiLogout, kTolbaSDKNotiRecharge,
                           kTolbaSDKNotiRealAuth, kTolbaSDKNotiPlayTime}) {
    observers_.emplace_back(center, center.addObserver(name, nullptr, [this](const platform::Notification& n) {
      received_.push_back({n.name, n.userInfo});
      timeline_.notification(n.name, n.userInfo);
    }));
  }

  // The WeChat application of this demo: it pays the order named by the address
  // through the sandbox (a real WeChat would ask the player), then the player
  // comes back to the game.
  app.registerSchemeHandler("weixin", [this](const std::string& url) {
    timeline_.action("is in WeChat with " + url);
    auto back = [this] {
      timeline_.action("comes back to the game");
      platform::Application::shared().becomeActive();
    };
    if (!options_.sandbox || !weChatPays_) {
      timeline_.note(weChatPays_ ? "(WeChat is only simulated against this server: nothing is paid)"
                                 : "(the player cancels the payment in WeChat)");
      platform::postToMain(back);
      return true;
    }
    HttpClient::Request request;
    request.url = options_.sandbox->baseUrl() + "/sandbox/wechat/open";
    request.headers.emplace_back("Content-Type: text/plain");
    request.body = url;
    HttpClient::shared().post(std::move(request), [back](HttpClient::Outcome outcome) {
      platform::postToMain([back, outcome = std::move(outcome)] {
        if (!outcome.ok || outcome.status != 200)
          platform::log("demo: WeChat stand-in could not pay: " + outcome.error);
        back();
      });
    });
    return true;
  });
  return true;
}

bool Journey::initialise() {
  timeline_.section("The game starts and initialises the SDK");
  beginStep();
  sdk_ = TolbaSDK::defaultInstance();
  auto config = std::make_shared<TolbaSDKInitConfig>();
  config->setGameid(kGameId);
  const auto code = sdk_->initWithConfig(config, &platform::Application::shared(), Json::object());
  if (code != 0) {
    timeline_.failure("initWithConfig answered " + std::to_string(code));
    return false;
  }
  return expectNotification(kTolbaSDKNotiInitDidFinished, 0).has_value();
}

bool Journey::submitAccount(bool registering) {
  beginStep();
  if (sdk_->login() != 0) {
    timeline_.failure("login() was refused");
    return false;
  }
  std::shared_ptr<TolbaLoginView> panel;
  if (!waitUntil("the login panel opening", [&] { return (panel = findPanel<TolbaLoginView>()) != nullptr; })) {
    return false;
  }
  if (registering) {
    snapshot("login");
    if (!readAgreement(panel)) return false;
    if (!tap(panel->statusBtn().get(), "\"没有账号？去注册\" (switch to register)")) return false;
    snapshot("register");
  } else {
    // The player turns the phone: the panel is rebuilt for the new shape, empty.
    if (!rotate(platform::InterfaceOrientationLandscapeRight, panel)) return false;
    snapshot("login-landscape");
    if (!rotate(platform::InterfaceOrientationPortrait, panel)) return false;
  }
  if (!type(panel->nameF().get(), account_, "the account field") || !tap(panel->boxBtn().get(), "the consent switch")) {
    return false;
  }
  if (!registering && options_.snapshot) {
    platform::RunLoop::main().runFor(platform::Duration(0.3));  // the keyboard has risen
    snapshot("login-consented");
  }
  return type(panel->pwdF().get(), kPassword, "the password field") &&
         tap(panel->loginBtn().get(), registering ? "\"注册\" (register)" : "\"登录\" (log in)");
}

bool Journey::rotate(std::int64_t orientation, const std::shared_ptr<TolbaBaseView>& panel) {
  timeline_.action(orientation == platform::InterfaceOrientationPortrait ? "turns the phone upright"
                                                                         : "turns the phone on its side");
  Player::rotate(orientation);
  return waitUntil("the panel being rebuilt for the turned screen", [&] {
    const auto screen = platform::Application::shared().mainScreenBounds();
    const auto box = panel->subContentView();
    return panel->frame() == screen && box && box->center() == screen.center();
  });
}

bool Journey::readAgreement(const std::shared_ptr<TolbaLoginView>& panel) {
  if (!tap(player::findButton(panel, "用户协议").get(), "\"用户协议\" (the user agreement)")) return false;
  std::shared_ptr<TolbaAgreementView> agreement;
  if (!waitUntil("the user agreement loading", [&] {
        agreement = findPanel<TolbaAgreementView>();
        auto web = agreement ? agreement->webView() : nullptr;
        return web && !web->isLoading() && !web->pageText().empty();
      })) {
    return false;
  }
  snapshot("agreement");
  if (!tap(player::findButton(agreement, "返回").get(), "\"返回\" (back)")) return false;
  return waitUntil("the agreement closing", [&] { return findPanel<TolbaAgreementView>() == nullptr; });
}

bool Journey::registerAndVerify() {
  timeline_.section("A new player registers and verifies their identity");
  if (!submitAccount(true)) return false;
  std::shared_ptr<TolbaRealView> real;
  if (!waitUntil("the real-name panel opening", [&] { return (real = findPanel<TolbaRealView>()) != nullptr; })) {
    return false;
  }
  snapshot("real-name");
  if (!type(real->nameF().get(), kRealName, "the name field") ||
      !type(real->codeF().get(), kIdCard, "the identity card field") ||
      !tap(player::findButton(real, "提交").get(), "\"提交\" (submit)")) {
    return false;
  }
  auto login = expectNotification(kTolbaSDKNotiLogin, 0);
  auto realName = expectNotification(kTolbaSDKNotiRealAuth, 0);
  if (!login || !realName) return false;
  if (platform::stringValue(platform::find(*realName, "isRealName")) != "1") {
    timeline_.failure("the player was not reported as verified");
    return false;
  }
  return waitUntil("the real-name panel closing", [&] { return findPanel<TolbaRealView>() == nullptr; });
}

bool Journey::reportRole() {
  timeline_.section("The game reports the player's new role");
  role_ = std::make_shared<TolbaSDKGameRoleInfo>();
  role_->setServerId("1");
  role_->setServerName("龙城一区");
  role_->setGameRoleID("r-" + account_);
  role_->setGameRoleName("小白龙");
  role_->setGameUserLevel("1");
  role_->setVipLevel("0");
  traffic_.clear();
  sdk_->updateRoleInfoWith(role_, true);
  return waitUntil("both role reports being answered",
                   [&] { return sawReply("sdkstandard/role/index") && sawReply("sdkmini/User/setRole"); });
}

std::shared_ptr<TolbaPayView> Journey::openPayCentre(const std::string& cpOrderId, const std::string& product,
                                                     const std::string& goodsId, float amount) {
  beginStep();
  auto order = std::make_shared<TolbaSDKPayOrderInfo>();
  order->setCpOrderID(cpOrderId);
  order->setProductName(product);
  order->setGoodsID(goodsId);
  order->setAmount(amount);
  order->setCount(1);
  traffic_.clear();
  if (sdk_->payOrderInfo(order, role_) != 0) {
    timeline_.failure("payOrderInfo() was refused");
    return nullptr;
  }
  std::shared_ptr<TolbaPayView> panel;
  if (!waitUntil("the pay centre opening with the balance",
                 [&] { return (panel = findPanel<TolbaPayView>()) && sawReply("sdkmini/pay/getPayWay"); })) {
    return nullptr;
  }
  if (auto balance = panel->ptbL()) timeline_.note("the pay centre shows \"" + balance->text() + "\"");
  return panel;
}

bool Journey::tapButton(const std::shared_ptr<platform::Button>& button) {
  return tap(button.get(), "\"" + (button ? button->currentTitle() : std::string()) + "\"");
}

bool Journey::paid() {
  return expectNotification(kTolbaSDKNotiRecharge, 0) &&
         waitUntil("the pay centre closing", [&] { return findPanel<TolbaPayView>() == nullptr; });
}

bool Journey::payWithCoins() {
  timeline_.section("The player buys 60 gems with platform coins");
  auto panel = openPayCentre("cp-" + account_ + "-1", "60钻石", "gems60", 6);
  if (!panel) return false;
  snapshot("pay-centre");
  if (!rotate(platform::InterfaceOrientationLandscapeRight, panel)) return false;
  snapshot("pay-centre-landscape");
  if (!rotate(platform::InterfaceOrientationPortrait, panel) || !tapButton(panel->ptbBtn())) return false;
  snapshot("pay-centre-paying");
  if (!paid()) return false;
  snapshot("toast");  // the server's message, shown as the pay centre closes
  return true;
}

bool Journey::payWithWeChat() {
  timeline_.section("The player buys a monthly card with WeChat");
  auto panel = openPayCentre("cp-" + account_ + "-2", "月卡", "monthly", 30);
  if (!panel) return false;
  auto wx = panel->wxBtn();
  if (!wx || wx->isHidden()) {
    timeline_.note("this server does not offer WeChat H5 payment; paying with coins instead");
    return tapButton(panel->ptbBtn()) && paid();
  }
  return tapButton(wx) && paid();
}

bool Journey::cancelInWeChat() {
  timeline_.section("The player starts a WeChat payment and cancels it in WeChat");
  auto panel = openPayCentre("cp-" + account_ + "-3", "月卡", "monthly", 30);
  if (!panel) return false;
  auto wx = panel->wxBtn();
  if (!wx || wx->isHidden()) {
    timeline_.note("this server does not offer WeChat H5 payment; nothing to cancel");
    return tapButton(panel->closeBtn()) && expectNotification(kTolbaSDKNotiRecharge, -401).has_value();
  }
  weChatPays_ = false;
  // The server is asked what became of the order: it was never paid. (A game
  // waits about ten seconds for a late confirmation; the demo three.)
  const auto retries = OrderStateQuery::settlingRetries();
  OrderStateQuery::setSettlingRetries({1, 2});
  const bool ok = tapButton(wx) && expectNotification(kTolbaSDKNotiRecharge, -401).has_value() &&
                  waitUntil("the pay centre closing", [&] { return findPanel<TolbaPayView>() == nullptr; });
  weChatPays_ = true;
  OrderStateQuery::setSettlingRetries(retries);
  return ok;
}

bool Journey::switchAccount() {
  timeline_.section("The player switches account with the floating button");
  beginStep();
  auto floating = TolbaFloatView::shareInstance();
  if (!floating || floating->isHidden()) {
    timeline_.failure("the floating button is not on the screen");
    return false;
  }
  auto button = floating->mainBtn();
  // A second after it was last touched the button parks half off the screen;
  // a tap on the parked button brings it out, the next one switches account.
  const auto screen = platform::Application::shared().mainScreenBounds();
  const double width = screen.width();
  // The player moves it down the right edge first: wherever the screen's turns
  // left it, it snaps to the edge and parks there a second later.
  // A moving button takes no touches: the player waits for it to come to rest.
  auto settle = [&] {
    for (int i = 0; i < 60 && (floating->isAnimating() || button->isAnimating()); ++i) {
      platform::RunLoop::main().runFor(platform::Duration(0.05));
    }
  };
  settle();
  timeline_.action("drags the floating button down the right edge");
  if (!Player::drag(*floating, {width - 10, screen.height() * 0.6})) {
    timeline_.failure("could not drag the floating button");
    return false;
  }
  if (!waitUntil("the floating button parking at the screen edge", [&] {
        // Parked: half off the screen, or stopped short of the sensor housing.
        const double x = floating->center().x;
        return !floating->isShowAll() && (x <= 0 || x >= width || x == 30 || x == width - 37);
      })) {
    return false;
  }
  settle();  // slid and faded (no timer marks the end)
  snapshot("float-button-parked");
  if (!tap(button.get(), "the parked floating button (it slides out)")) return false;
  if (!floating->isShowAll()) {
    timeline_.failure("the floating button did not come out");
    return false;
  }
  snapshot("float-button");
  if (!tap(button.get(), "\"切转账号\" on the floating button")) return false;
  if (!expectNotification(kTolbaSDKNotiLogout, 0)) return false;
  timeline_.note("the game goes back to its title screen and asks for a login");
  return true;
}

bool Journey::logInAgain() {
  timeline_.section("The player logs in again with the same account");
  if (!submitAccount(false)) return false;
  if (!expectNotification(kTolbaSDKNotiLogin, 0) || !expectNotification(kTolbaSDKNotiRealAuth, 0)) return false;
  if (findPanel<TolbaRealView>()) {
    timeline_.failure("the real-name panel opened again for a verified player");
    return false;
  }
  timeline_.note("no real-name panel: the account is already verified");
  return true;
}

bool Journey::logOut() {
  timeline_.section("The game logs the player out");
  beginStep();
  traffic_.clear();
  const auto code = sdk_->logout();
  if (code != 0) {
    timeline_.failure("logout() answered " + std::to_string(code));
    return false;
  }
  return expectNotification(kTolbaSDKNotiLogout, 0).has_value();
}

}  // namespace

bool runJourney(Timeline& timeline, const JourneyOptions& options) {
  Journey journey(timeline, options);
  const bool ok = options.minorAccount.empty() ? journey.run() : journey.runMinor();
  setTrafficObserver(nullptr);
  platform::Application::shared().unregisterSchemeHandler("weixin");
  return ok && timeline.failures() == 0;
}

}  // namespace tolba::demo
