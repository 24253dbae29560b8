#pragma once
// The simulator's stand-in for the WeChat application. The SDK hands a
// "weixin://" address to the host; the simulator shows a small sheet in the
// window with "pay" and "cancel". Paying asks the server's WeChat stand-in
// (/sandbox/wechat/open) to pay the order, off the frame loop; either way the
// player then comes back to the game.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <cairo.h>

#include "console.h"
#include "tolba/TolbaHost.h"

namespace tolba::sim {

struct Box {
  double x = 0, y = 0, width = 0, height = 0;
  bool contains(double px, double py) const { return px >= x && px < x + width && py >= y && py < y + height; }
};

class WeChatSheet {
 public:
  // `back` runs on the main thread when the player returns to the game.
  WeChatSheet(std::string baseUrl, Console& console, std::function<void()> back);
  ~WeChatSheet();
  WeChatSheet(const WeChatSheet&) = delete;
  WeChatSheet& operator=(const WeChatSheet&) = delete;

  // The host's URL handler: takes "weixin://" addresses.
  bool open(const std::string& url);

  bool visible() const { return visible_; }
  bool busy() const { return paying_; }
  Box payButton(const TolbaScreen& screen) const;
  Box cancelButton(const TolbaScreen& screen) const;
  // A tap while the sheet is up; true when it landed on the sheet.
  bool tap(double x, double y, const TolbaScreen& screen);
  void draw(cairo_t* cr, const TolbaScreen& screen) const;
  std::uint64_t revision() const { return revision_; }

 private:
  void pay();
  void finish(const std::string& what);
  Box sheet(const TolbaScreen& screen) const;

  std::string baseUrl_;
  Console& console_;
  std::function<void()> back_;
  std::string url_;
  bool visible_ = false;
  bool paying_ = false;
  std::uint64_t revision_ = 0;
  std::thread worker_;
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
};

}  // namespace tolba::sim
