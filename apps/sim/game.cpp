#include "game.h"

#include <chrono>

#include "tolba/TolbaSDK.h"
#include "tolba/TolbaSDKInitConfig.h"
#include "tolba/TolbaSDKPayOrderInfo.h"
#include "tolba/platform/value.h"

namespace tolba::sim {
namespace {

std::string codeText(const char* call, std::int32_t code) {
  switch (code) {
    case 0: return std::string(call) + " accepted";
    case -20: return std::string(call) + ": the SDK is not initialised yet (-20)";
    case -301: return std::string(call) + ": nobody is logged in (-301)";
    default: return std::string(call) + " answered " + std::to_string(code);
  }
}

}  // namespace

Game::Game(Console& console) : console_(console), status_("Tap \"Initialise\" to start the SDK") {
  auto& center = platform::NotificationCenter::defaultCenter();
  for (const char* name : {kTolbaSDKNotiInitDidFinished, kTolbaSDKNotiLogin, kTolbaSDKNotiLogout, kTolbaSDKNotiRecharge,
                           kTolbaSDKNotiRealAuth}) {
    observers_.emplace_back(center,
                            center.addObserver(name, nullptr, [this](const platform::Notification& n) { heard(n); }));
  }
}

void Game::setStatus(std::string text) {
  status_ = std::move(text);
  ++revision_;
}

void Game::heard(const platform::Notification& n) {
  heard_.push_back({n.name, n.userInfo});
  console_.notification(n.name, n.userInfo);
  const auto error = platform::intValue(platform::find(n.userInfo, kTolbaSDKKeyError));
  const auto msg = platform::stringValue(platform::find(n.userInfo, kTolbaSDKKeyMsg));
  const std::string detail =
      error == 0 ? std::string() : " (error " + std::to_string(error) + (msg ? " " + *msg : "") + ")";
  if (n.name == kTolbaSDKNotiInitDidFinished) {
    initialised_ = error == 0;
    setStatus(error == 0 ? "SDK ready: tap \"Log in\"" : "Initialisation failed" + detail);
  } else if (n.name == kTolbaSDKNotiLogin) {
    loggedIn_ = error == 0;
    const auto user = platform::stringValue(platform::find(n.userInfo, "username"));
    setStatus(error == 0 ? "Logged in as " + user.value_or("?") : "Login failed" + detail);
  } else if (n.name == kTolbaSDKNotiLogout) {
    if (error == 0) {
      loggedIn_ = false;
      role_.reset();  // a new player makes a new role
    }
    setStatus(error == 0 ? "Logged out: back at the title screen" : "Logout failed" + detail);
  } else if (n.name == kTolbaSDKNotiRecharge) {
    setStatus(error == 0 ? "Payment done: items delivered" : "Payment not done" + detail);
  } else if (n.name == kTolbaSDKNotiRealAuth) {
    const auto real = platform::stringValue(platform::find(n.userInfo, "isRealName"));
    if (loggedIn_) setStatus(status_ + (real == std::optional<std::string>("1") ? " (verified)" : " (not verified)"));
  }
}

void Game::initialise() {
  console_.action("game calls initWithConfig (gameid " + std::string(kGameId) + ")");
  auto config = std::make_shared<TolbaSDKInitConfig>();
  config->setGameid(kGameId);
  const auto code = TolbaSDK::defaultInstance()->initWithConfig(config, nullptr, nlohmann::json::object());
  setStatus(code == 0 ? "Initialising: waiting for the network" : codeText("initWithConfig", code));
}

void Game::login() {
  console_.action("game calls login");
  const auto code = TolbaSDK::defaultInstance()->login();
  if (code != 0) setStatus(codeText("login", code));
}

void Game::reportRole() {
  auto sdk = TolbaSDK::defaultInstance();
  const auto user = sdk->username();
  if (!user) {
    setStatus("Log in before creating a role");
    return;
  }
  if (!role_) {
    role_ = std::make_shared<TolbaSDKGameRoleInfo>();
    role_->setServerId("1");
    role_->setServerName("龙城一区");
    role_->setGameRoleID("r-" + *user);
    role_->setGameRoleName("小白龙");
    role_->setGameUserLevel("1");
    role_->setVipLevel("0");
  }
  console_.action("game calls updateRoleInfoWith (role 小白龙, server 龙城一区)");
  sdk->updateRoleInfoWith(role_, true);
  setStatus("Role 小白龙 reported");
}

void Game::pay(const std::string& product, const std::string& goodsId, float amount) {
  auto sdk = TolbaSDK::defaultInstance();
  if (!role_) reportRole();
  if (!role_) return;
  auto order = std::make_shared<TolbaSDKPayOrderInfo>();
  const auto stamp =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  order->setCpOrderID("sim-" + std::to_string(stamp) + "-" + std::to_string(++orders_));
  order->setProductName(product);
  order->setGoodsID(goodsId);
  order->setAmount(amount);
  order->setCount(1);
  console_.action("game calls payOrderInfo (" + product + ")");
  const auto code = sdk->payOrderInfo(order, role_);
  setStatus(code == 0 ? "Paying for " + product : codeText("payOrderInfo", code));
}

void Game::buyGems() { pay("60钻石", "gems60", 6); }
void Game::buyMonthlyCard() { pay("月卡", "monthly", 30); }

void Game::logout() {
  console_.action("game calls logout");
  const auto code = TolbaSDK::defaultInstance()->logout();
  if (code != 0) setStatus(codeText("logout", code));
}

}  // namespace tolba::sim
