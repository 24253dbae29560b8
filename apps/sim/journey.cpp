#include "journey.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <sstream>

#include "simulator.h"
#include "tolba/TolbaHost.h"
#include "tolba/TolbaSDK.h"

namespace tolba::sim {
namespace {

constexpr char kPassword[] = "tolba-sim-pw";
constexpr char kRealName[] = "张三";
// A valid identity card number of an adult (born 1990-03-07).
constexpr char kIdCard[] = "110105199003071239";
constexpr char kFloatTitle[] = "切转\n账号";

std::string freshAccountName() {
  std::random_device device;
  std::mt19937_64 generator(device() ^
                            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  char name[32];
  std::snprintf(name, sizeof name, "sim%08llx", static_cast<unsigned long long>(generator() & 0xffffffffULL));
  return name;
}

Target element(const std::string& kind, const std::string& text = {}) {
  Target t;
  t.kind = Target::Kind::Element;
  t.elementKind = kind;
  t.text = text;
  return t;
}

Target named(Target::Kind kind, const std::string& name) {
  Target t;
  t.kind = kind;
  t.text = name;
  return t;
}

Step section(const std::string& title) { return {.type = Step::Type::Section, .text = title}; }
Step tap(Target target) { return {.type = Step::Type::Tap, .target = std::move(target)}; }
Step typeText(const std::string& text) { return {.type = Step::Type::Type, .text = text}; }
Step waitFor(Target target) { return {.type = Step::Type::WaitElement, .target = std::move(target)}; }
Step waitGone(Target target) { return {.type = Step::Type::WaitGone, .target = std::move(target)}; }
Step heard(const char* name, long long error = 0) {
  return {.type = Step::Type::WaitNotification, .text = name, .error = error};
}
Step key(const std::string& name) { return {.type = Step::Type::Key, .text = name}; }
Step reply(const std::string& path) { return {.type = Step::Type::WaitReply, .text = path}; }
Step shot(const std::string& name) { return {.type = Step::Type::Screenshot, .text = name}; }
Step pause(double seconds) { return {.type = Step::Type::Pause, .seconds = seconds}; }
Step until(std::string what, std::function<bool()> condition) {
  return {.type = Step::Type::WaitUntil, .condition = std::move(condition), .what = std::move(what)};
}

std::optional<TolbaElement> floatingButton() {
  for (const auto& e : TolbaHost::shared().elements()) {
    if (e.kind == "button" && e.text == kFloatTitle) return e;
  }
  return std::nullopt;
}

void fillAccount(std::vector<Step>& s, const std::string& account) {
  s.push_back(tap(element("field", "请输入账号")));
  s.push_back(typeText(account));
  s.push_back(tap(element("field", "请输入密码")));
  s.push_back(typeText(kPassword));
  // The keyboard covers the panel's button; the player puts it away first.
  s.push_back(key("escape"));
  s.push_back(tap(element("switch")));
}

}  // namespace

std::vector<Step> journeySteps(const Simulator& sim, bool again) {
  const std::string account = freshAccountName();
  const Simulator* simulator = &sim;
  std::vector<Step> s;

  s.push_back(section("The game starts and initialises the SDK"));
  s.push_back(pause(0.5));
  s.push_back(shot("title"));
  s.push_back(tap(named(Target::Kind::Scene, "init")));
  s.push_back(heard(kTolbaSDKNotiInitDidFinished));

  s.push_back(section("A new player registers and verifies their identity"));
  s.push_back(tap(named(Target::Kind::Scene, "login")));
  s.push_back(waitFor(element("button", "登录")));
  s.push_back(shot("login"));
  s.push_back(tap(element("button", "没有账号？去注册")));
  s.push_back(waitFor(element("button", "注册")));
  fillAccount(s, account);
  s.push_back(shot("register"));
  s.push_back(tap(element("button", "注册")));
  s.push_back(waitFor(element("field", "请输入姓名")));
  s.push_back(shot("real-name"));
  s.push_back(tap(element("field", "请输入姓名")));
  s.push_back(typeText(kRealName));
  s.push_back(tap(element("field", "请输入身份证号")));
  s.push_back(typeText(kIdCard));
  s.push_back(key("escape"));
  s.push_back(tap(element("button", "提交")));
  s.push_back(heard(kTolbaSDKNotiLogin));
  s.push_back(heard(kTolbaSDKNotiRealAuth));
  s.push_back(waitGone(element("field", "请输入身份证号")));
  s.push_back(shot("logged-in"));

  s.push_back(section("The game reports the player's new role"));
  s.push_back(tap(named(Target::Kind::Scene, "role")));
  s.push_back(reply("sdkstandard/role/index"));
  s.push_back(reply("sdkmini/User/setRole"));

  s.push_back(section("The player buys 60 gems with platform coins"));
  s.push_back(tap(named(Target::Kind::Scene, "gems")));
  s.push_back(waitFor(element("button", "支付6平台币")));
  s.push_back(reply("sdkmini/pay/getPayWay"));
  s.push_back(shot("pay-centre"));
  s.push_back(tap(element("button", "支付6平台币")));
  s.push_back(heard(kTolbaSDKNotiRecharge));
  s.push_back(waitGone(element("button", "支付6平台币")));
  s.push_back(shot("paid-with-coins"));

  s.push_back(section("The player buys a monthly card with WeChat"));
  s.push_back(tap(named(Target::Kind::Scene, "card")));
  s.push_back(waitFor(element("button", "微信支付")));
  s.push_back(reply("sdkmini/pay/getPayWay"));
  s.push_back(shot("pay-centre-wechat"));
  s.push_back(tap(element("button", "微信支付")));
  s.push_back(until("the WeChat stand-in opening", [simulator] { return simulator->sheet().visible(); }));
  s.push_back(shot("wechat"));
  s.push_back(tap(named(Target::Kind::Sheet, "pay")));
  s.push_back(heard(kTolbaSDKNotiRecharge));
  s.push_back(waitGone(element("button", "微信支付")));
  s.push_back(shot("paid-with-wechat"));

  s.push_back(section("The player switches account with the floating button"));
  // A second after it was last touched the button parks at the screen's edge;
  // a tap brings it out, the next one switches account.
  const auto out = [simulator] {
    const auto b = floatingButton();
    return b && !TolbaHost::shared().needsRedraw() && b->x >= 0 && b->x + b->width <= simulator->screen().width;
  };
  if (again) {
    s.push_back(until("the floating button resting at its edge", out));
  } else {
    s.push_back(until("the floating button parking at the screen's edge", [simulator] {
      // Parked is half off the screen (a button resting flush with an edge is not).
      const auto b = floatingButton();
      const double width = simulator->screen().width;
      return b && !TolbaHost::shared().needsRedraw() && (b->x < -0.5 || b->x + b->width > width + 0.5);
    }));
    s.push_back(shot("float-button-parked"));
    s.push_back(tap(element("button", kFloatTitle)));
    s.push_back(until("the floating button coming out", out));
  }
  s.push_back(tap(element("button", kFloatTitle)));
  s.push_back(heard(kTolbaSDKNotiLogout));

  s.push_back(section("The player logs in again with the same account"));
  s.push_back(tap(named(Target::Kind::Scene, "login")));
  s.push_back(waitFor(element("button", "登录")));
  fillAccount(s, account);
  s.push_back(tap(element("button", "登录")));
  s.push_back(heard(kTolbaSDKNotiLogin));
  s.push_back(heard(kTolbaSDKNotiRealAuth));
  s.push_back(waitGone(element("button", "登录")));

  s.push_back(section("The game logs the player out and turns the phone"));
  s.push_back(tap(named(Target::Kind::Scene, "logout")));
  s.push_back(heard(kTolbaSDKNotiLogout));
  s.push_back(tap(named(Target::Kind::Scene, "rotate")));
  s.push_back(pause(0.3));
  s.push_back(shot("landscape"));
  s.push_back(tap(named(Target::Kind::Scene, "rotate")));
  s.push_back(pause(0.3));
  s.push_back(shot("end"));
  return s;
}

std::optional<std::vector<Step>> parseScript(const std::string& text, std::string* error) {
  std::vector<Step> steps;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  auto bad = [&](const std::string& why) {
    if (error) *error = "line " + std::to_string(number) + ": " + why;
    return std::nullopt;
  };
  while (std::getline(lines, line)) {
    ++number;
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string verb;
    if (!(words >> verb)) continue;
    std::string rest;
    std::getline(words >> std::ws, rest);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\r' || rest.back() == '\t')) rest.pop_back();
    std::istringstream args(rest);
    std::string a, b;
    args >> a;
    std::getline(args >> std::ws, b);
    auto targetOf = [&](const std::string& first, const std::string& second) -> std::optional<Target> {
      if (first == "scene") return named(Target::Kind::Scene, second);
      if (first == "sheet") return named(Target::Kind::Sheet, second);
      if (first == "point") {
        Target t;
        t.kind = Target::Kind::Point;
        if (std::sscanf(second.c_str(), "%lf %lf", &t.point.x, &t.point.y) != 2) return std::nullopt;
        return t;
      }
      if (first.empty()) return std::nullopt;
      return element(first, second);
    };
    if (verb == "section") {
      steps.push_back(section(rest));
    } else if (verb == "tap" || verb == "wait" || verb == "gone") {
      auto target = targetOf(a, b);
      if (!target) return bad("\"" + verb + "\" wants a target");
      steps.push_back(verb == "tap" ? tap(*target) : verb == "wait" ? waitFor(*target) : waitGone(*target));
    } else if (verb == "drag") {
      Step step{.type = Step::Type::Drag};
      step.target.kind = Target::Kind::Point;
      if (std::sscanf(rest.c_str(), "%lf %lf %lf %lf", &step.target.point.x, &step.target.point.y, &step.to.x,
                      &step.to.y) != 4) {
        return bad("\"drag\" wants X Y X2 Y2");
      }
      steps.push_back(step);
    } else if (verb == "type") {
      steps.push_back(typeText(rest));
    } else if (verb == "key") {
      if (a.empty()) return bad("\"key\" wants a key name");
      steps.push_back({.type = Step::Type::Key, .text = a});
    } else if (verb == "notification") {
      Step step = heard("", b.empty() ? 0 : std::atoll(b.c_str()));
      step.text = a;
      steps.push_back(step);
    } else if (verb == "reply") {
      steps.push_back(reply(a));
    } else if (verb == "pause") {
      steps.push_back(pause(std::atof(a.c_str())));
    } else if (verb == "screenshot") {
      if (a.empty() || a.find('/') != std::string::npos) return bad("\"screenshot\" wants a plain name");
      steps.push_back(shot(a));
    } else {
      return bad("unknown step \"" + verb + "\"");
    }
  }
  return steps;
}

}  // namespace tolba::sim
