#include "wechat_sheet.h"

#include <algorithm>
#include <memory>

#include <httplib.h>

#include "scene.h"
#include "tolba/platform/run_loop.h"

namespace tolba::sim {

WeChatSheet::WeChatSheet(std::string baseUrl, Console& console, std::function<void()> back)
    : baseUrl_(std::move(baseUrl)), console_(console), back_(std::move(back)) {}

WeChatSheet::~WeChatSheet() {
  *alive_ = false;
  if (worker_.joinable()) worker_.join();
}

bool WeChatSheet::open(const std::string& url) {
  if (url.rfind("weixin://", 0) != 0) return false;
  if (visible_) return true;
  url_ = url;
  visible_ = true;
  ++revision_;
  console_.action("is in WeChat (stand-in) with " + url);
  return true;
}

Box WeChatSheet::sheet(const TolbaScreen& screen) const {
  const double height = 250 + screen.safeArea.bottom;
  const double width = std::min(screen.width, 420.0);
  return {(screen.width - width) / 2, screen.height - height, width, height};
}

Box WeChatSheet::payButton(const TolbaScreen& screen) const {
  const auto s = sheet(screen);
  return {s.x + 24, s.y + 120, s.width - 48, 48};
}

Box WeChatSheet::cancelButton(const TolbaScreen& screen) const {
  const auto s = sheet(screen);
  return {s.x + 24, s.y + 180, s.width - 48, 40};
}

bool WeChatSheet::tap(double x, double y, const TolbaScreen& screen) {
  if (!visible_) return false;
  if (paying_) return true;
  if (payButton(screen).contains(x, y)) {
    console_.action("taps \"支付\" (pay) in WeChat");
    pay();
  } else if (cancelButton(screen).contains(x, y)) {
    console_.action("taps \"取消\" (cancel) in WeChat");
    finish("comes back to the game without paying");
  }
  return true;
}

void WeChatSheet::pay() {
  paying_ = true;
  ++revision_;
  if (worker_.joinable()) worker_.join();
  // Split "http://host:port/prefix" for the HTTP client.
  std::string origin = baseUrl_;
  std::string prefix;
  if (const auto scheme = origin.find("://"); scheme != std::string::npos) {
    if (const auto slash = origin.find('/', scheme + 3); slash != std::string::npos) {
      prefix = origin.substr(slash);
      origin = origin.substr(0, slash);
    }
  }
  worker_ = std::thread([this, origin, prefix, url = url_, alive = alive_] {
    std::string outcome;
    if (origin.rfind("http://", 0) != 0) {
      outcome = "WeChat stand-in pays only through an http:// server";
    } else {
      httplib::Client client(origin);
      client.set_connection_timeout(5);
      client.set_read_timeout(10);
      auto res = client.Post(prefix + "/sandbox/wechat/open", url, "text/plain");
      if (!res) {
        outcome = "WeChat stand-in could not reach the server: " + httplib::to_string(res.error());
      } else if (res->status != 200) {
        outcome = "WeChat stand-in: the server answered " + std::to_string(res->status);
      }
    }
    if (!*alive) return;
    platform::postToMain([this, outcome, alive] {
      if (!*alive) return;
      if (!outcome.empty()) console_.note(outcome);
      finish(outcome.empty() ? "pays in WeChat and comes back to the game" : "comes back to the game");
    });
  });
}

void WeChatSheet::finish(const std::string& what) {
  visible_ = false;
  paying_ = false;
  ++revision_;
  console_.action(what);
  if (back_) back_();
}

void WeChatSheet::draw(cairo_t* cr, const TolbaScreen& screen) const {
  if (!visible_) return;
  // WeChat covers the game.
  cairo_set_source_rgba(cr, 0.93, 0.93, 0.93, 1);
  cairo_paint(cr);
  drawText(cr, "微信 WeChat (stand-in)", 0, screen.safeArea.top + 30, screen.width, 40, 22, true, true, 0.1, 0.1, 0.1);
  drawText(cr, url_, 20, screen.safeArea.top + 80, screen.width - 40, 60, 11, false, true, 0.4, 0.4, 0.4);
  const auto s = sheet(screen);
  roundedRect(cr, s.x, s.y, s.width, s.height + 20, 16);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_fill(cr);
  drawText(cr, "确认支付 Confirm payment", s.x, s.y + 24, s.width, 30, 18, true, true, 0.1, 0.1, 0.1);
  drawText(cr, "The order is paid through the server's WeChat stand-in", s.x + 20, s.y + 64, s.width - 40, 36, 12,
           false, true, 0.45, 0.45, 0.45);
  const auto payBox = payButton(screen);
  roundedRect(cr, payBox.x, payBox.y, payBox.width, payBox.height, 8);
  cairo_set_source_rgb(cr, 0.03, 0.76, 0.38);  // WeChat green
  cairo_fill(cr);
  drawText(cr, paying_ ? "支付中… Paying…" : "支付 Pay", payBox.x, payBox.y, payBox.width, payBox.height, 18, true,
           true, 1, 1, 1);
  const auto cancelBox = cancelButton(screen);
  drawText(cr, "取消 Cancel", cancelBox.x, cancelBox.y, cancelBox.width, cancelBox.height, 16, false, true, 0.3, 0.3,
           0.3);
}

}  // namespace tolba::sim
