#include "ui/TolbaLoginView.h"
#include "net/reply_reading.h"
#include "ui/panel_controls.h"

#include <string>

#include "model/TolbaSDKGameConfig.h"
#include "net/TolbaApi.h"
#include "net/log_masking.h"
#include "tolba/platform/log.h"
#include "tolba/platform/value.h"
#include "toolkit/application.h"
#include "toolkit/font.h"
#include "toolkit/window.h"
#include "ui/TolbaAgreementView.h"
#include "ui/TolbaMsg.h"
#include "ui/network_failure_texts.h"

namespace tolba {

using platform::Button;
using platform::Color;
using platform::ControlEvent;
using platform::Font;
using platform::Rect;

namespace {

constexpr char kLoginTitle[] = "登录";
constexpr char kRegisterTitle[] = "注册";
// Shown when a refusal carries no message we can read (or nothing could be read).
constexpr char kUnreadableReply[] = "接口异常";

// The text of reply[key] for a result entry: a string as it is, a number in
// decimal. Anything else (missing, null, a dictionary, a list, a boolean) cannot
// be read: nullopt, with a log line naming the key.
std::optional<std::string> replyText(const std::optional<nlohmann::json>& reply, const char* key) {
  const nlohmann::json* value = reply ? platform::find(*reply, key) : nullptr;
  if (value && (value->is_string() || value->is_number())) return platform::describe(*value);
  if (reply) platform::log(std::string("TolbaLog:reply has no readable \"") + key + "\"");
  return std::nullopt;
}

std::string fieldText(const std::shared_ptr<platform::TextField>& field) { return field ? field->text() : ""; }

}  // namespace

std::shared_ptr<TolbaLoginView> TolbaLoginView::present(CompletionBlock completion) {
  return presentInKeyWindow<TolbaLoginView>(
      "login panel", [&](TolbaLoginView& panel) { panel.setCompletionBlock(std::move(completion)); });
}

void TolbaLoginView::fillContentBox() {
  setBackgroundColor(Color{0, 0, 0, 0.2});
  auto box = subContentView();
  box->setBackgroundColor(Color::whiteColor());
  std::weak_ptr<TolbaLoginView> weak = std::static_pointer_cast<TolbaLoginView>(shared_from_this());

  auto title = makePanelLabel({0, 0, 300, 40}, kLoginTitle, 18);
  title->setTextAlignment(platform::TextAlignment::Center);
  box->addSubview(title);
  titleL_ = title;

  box->addSubview(makePanelLabel({20, 40, 60, 40}, "用户名", 18));
  auto name = makePanelField({90, 40, 190, 40}, "请输入账号");
  name->setText("");
  box->addSubview(name);
  nameF_ = name;

  box->addSubview(makePanelLabel({20, 90, 50, 40}, "密码", 18));
  auto pwd = makePanelField({60, 90, 220, 40}, "请输入密码");
  pwd->setSecureTextEntry(false);
  // Return in the password field submits, as the submit button does (the
  // account field's return moves on to the password).
  pwd->addTarget(platform::ControlEvent::EditingDidEndOnExit, [weak](platform::Control&) {
    if (auto self = weak.lock()) self->doViewLogin();
  });
  box->addSubview(pwd);
  pwdF_ = pwd;

  auto consent = std::make_shared<platform::Switch>(Rect{20, 150, 20, 20});
  consent->setOn(false);
  box->addSubview(consent);
  boxBtn_ = consent;

  auto link = [&](Rect frame, const char* text, std::int64_t tag) {
    auto button = std::make_shared<Button>(frame);
    button->setTag(tag);
    button->setTitle(text);
    button->setTitleColor(Color::redColor());
    button->setTitleFont(Font::systemFont(12));
    button->addTarget(ControlEvent::TouchUpInside, [weak](platform::Control& sender) {
      if (auto self = weak.lock()) self->goToXieView(sender);
    });
    box->addSubview(button);
  };
  box->addSubview(makePanelLabel({80, 150, 45, 30}, "请阅读", 12));
  link({125, 150, 50, 30}, "用户协议", kUserAgreementTag);
  box->addSubview(makePanelLabel({175, 150, 15, 30}, "和", 12));
  link({190, 150, 50, 30}, "隐私政策", kPrivacyPolicyTag);

  auto toggle = std::make_shared<Button>(Rect{20, 190, 200, 30});
  toggle->setTitle("没有账号？去注册");
  toggle->setTitle("返回登录", platform::ControlStateSelected);
  toggle->setTitleColor(Color::lightGrayColor());
  toggle->setTitleFont(Font::systemFont(13));
  toggle->setContentHorizontalAlignment(platform::ContentHorizontalAlignment::Left);
  toggle->addTarget(ControlEvent::TouchUpInside, [weak](platform::Control& sender) {
    if (auto self = weak.lock()) self->goToOtherView(static_cast<Button&>(sender));
  });
  box->addSubview(toggle);
  statusBtn_ = toggle;

  auto submit = std::make_shared<Button>(Rect{105, 250, 90, 40});
  submit->setBackgroundColor(Color::blueColor());
  submit->setTitle(kLoginTitle);
  submit->setTitleColor(Color::whiteColor());
  submit->setTitleFont(Font::systemFont(18));
  submit->addTarget(ControlEvent::TouchUpInside, [weak](platform::Control&) {
    if (auto self = weak.lock()) self->doViewLogin();
  });
  box->addSubview(submit);
  loginBtn_ = submit;
}

void TolbaLoginView::goToOtherView(Button& sender) {
  sender.setSelected(!sender.isSelected());
  const char* text = sender.isSelected() ? kRegisterTitle : kLoginTitle;
  if (auto title = titleL()) title->setText(text);
  if (auto submit = loginBtn()) submit->setTitle(text);
}

void TolbaLoginView::doViewLogin() {
  if (requestInFlight_) return;  // the answer to the last submit is still to come
  auto consent = boxBtn();
  if (!consent || !consent->isOn()) {
    TolbaMsg::showMessage("需要确认用户隐私协议");
    return;
  }
  auto toggle = statusBtn();
  if (toggle && toggle->isSelected()) {
    doRegister();
  } else {
    doLogin();
  }
}

void TolbaLoginView::doLogin() {
  // The reply block keeps the panel alive until it has run: the panel closes
  // itself only after handing the outcome over.
  auto self = std::static_pointer_cast<TolbaLoginView>(shared_from_this());
  requestInFlight_ = true;
  TolbaApi::chanelLogin(
      fieldText(nameF()), fieldText(pwdF()),
      [self](const std::optional<Json>& reply, const Json&) { self->handleLoginReply(reply); },
      [self](const std::string& why) { self->requestGotNoAnswer(why); });
}

void TolbaLoginView::doRegister() {
  std::weak_ptr<TolbaLoginView> weak = std::static_pointer_cast<TolbaLoginView>(shared_from_this());
  // A reply that comes after the panel is gone is dropped.
  requestInFlight_ = true;
  TolbaApi::channelRegiser(
      fieldText(nameF()), fieldText(pwdF()),
      [weak](const std::optional<Json>& reply, const Json&) {
        if (auto self = weak.lock()) self->handleRegisterReply(reply);
      },
      [weak](const std::string& why) {
        if (auto self = weak.lock()) self->requestGotNoAnswer(why);
      });
}

void TolbaLoginView::requestGotNoAnswer(const std::string& why) {
  platform::log("TolbaLog:login panel request got no answer (" + why + ")");
  requestInFlight_ = false;
  TolbaMsg::showMessage(kNetworkFailedToast);
}

void TolbaLoginView::handleLoginReply(const std::optional<Json>& reply) {
  // The reply's login signature is masked in the log line.
  platform::logLazily([&] {
    return "结果 = " +
           (reply ? platform::describe(maskedReply("sdkmini/login/dologin", *reply)) : std::string("(null)"));
  });
  requestInFlight_ = false;
  Json result;
  if (replyStatusIsOne(reply, "z")) {
    // What cannot be read goes in as an empty text; the login still stands.
    const std::string name = replyText(reply, "b").value_or("");
    TolbaSDKGameConfig::setSdkUid(name);
    result = {{"code", "0"},
              {"msg", "成功"},
              {"name", name},
              {"loginTime", replyText(reply, "e").value_or("")},
              {"sign", replyText(reply, "d").value_or("")},
              {"rzdic", *reply}};
  } else {
    result = {{"code", "-1"}, {"msg", replyText(reply, "x").value_or(kUnreadableReply)}};
  }
  finish(result);
  removeFromSuperview();
}

void TolbaLoginView::handleRegisterReply(const std::optional<Json>& reply) {
  platform::logLazily([&] {
    return "结果 = " +
           (reply ? platform::describe(maskedReply("sdkmini/login/register", *reply)) : std::string("(null)"));
  });
  requestInFlight_ = false;
  if (replyStatusIsOne(reply, "z")) {
    doLogin();  // with whatever is in the fields now
    return;
  }
  finish({{"code", "-1"}, {"msg", replyText(reply, "d").value_or(kUnreadableReply)}});
}

void TolbaLoginView::finish(const Json& result) {
  if (completionBlock_) {
    completionBlock_(result);
  } else {
    platform::log("TolbaLog:login panel has no completion block; result dropped");
  }
}

void TolbaLoginView::goToXieView(const platform::View& sender) {
  const std::string base = platform::describe(TolbaSDKGameConfig::getMainUrl());
  const bool user = sender.tag() == kUserAgreementTag;
  presentInKeyWindow<TolbaAgreementView>("agreement panel", [&](TolbaAgreementView& agreement) {
    agreement.setName(user ? "用户协议" : "隐私政策");
    agreement.setUrl(base + (user ? "/useragreement.html" : "/privacyagreement.html"));
  });
}

void TolbaLoginView::touchesBegan(const platform::Touch&) { endEditing(true); }

}  // namespace tolba
