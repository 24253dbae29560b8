#pragma once
// The game side of the simulator: what its buttons ask of the SDK, through the
// public facade only, and what it heard back.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "console.h"
#include "tolba/TolbaSDKGameRoleInfo.h"
#include "tolba/platform/notification_center.h"

namespace tolba::sim {

inline constexpr char kGameId[] = "1001";

struct Heard {
  std::string name;
  nlohmann::json payload;
};

class Game {
 public:
  explicit Game(Console& console);

  void initialise();
  void login();
  void reportRole();
  void buyGems();         // 60 gems for 6 yuan
  void buyMonthlyCard();  // 30 yuan; the pay centre offers WeChat
  void logout();

  bool initialised() const { return initialised_; }
  bool loggedIn() const { return loggedIn_; }
  // One line for the scene's status bar.
  const std::string& status() const { return status_; }
  // Changes whenever the status does.
  std::uint64_t revision() const { return revision_; }
  // Every notification so far, oldest first.
  const std::vector<Heard>& heard() const { return heard_; }

 private:
  void heard(const platform::Notification& n);
  void setStatus(std::string text);
  void pay(const std::string& product, const std::string& goodsId, float amount);

  Console& console_;
  std::vector<platform::ScopedObserver> observers_;
  std::vector<Heard> heard_;
  std::shared_ptr<TolbaSDKGameRoleInfo> role_;
  std::string status_;
  std::uint64_t revision_ = 0;
  int orders_ = 0;
  bool initialised_ = false;
  bool loggedIn_ = false;
};

}  // namespace tolba::sim
