#include "ui/TolbaRealView.h"
#include "ui/panel_controls.h"

#include <string>

#include "net/TolbaApi.h"
#include "tolba/platform/log.h"
#include "toolkit/application.h"
#include "toolkit/button.h"
#include "toolkit/font.h"
#include "toolkit/label.h"
#include "toolkit/window.h"
#include "ui/TolbaMsg.h"
#include "ui/network_failure_texts.h"

namespace tolba {

using platform::Color;
using platform::Font;
using platform::Rect;

std::shared_ptr<TolbaRealView> TolbaRealView::present(CompletionBlock completion) {
  return presentInKeyWindow<TolbaRealView>(
      "real-name panel", [&](TolbaRealView& panel) { panel.setCompletionBlock(std::move(completion)); });
}

void TolbaRealView::fillContentBox() {
  setBackgroundColor(Color{0, 0, 0, 0.2});
  auto box = subContentView();
  box->setBackgroundColor(Color::whiteColor());
  std::weak_ptr<TolbaRealView> weak = std::static_pointer_cast<TolbaRealView>(shared_from_this());

  auto title = makePanelLabel({0, 0, 300, 40}, "实名认证", 18);
  title->setFont(Font::systemFont(20, platform::FontWeight::Medium));
  title->setTextAlignment(platform::TextAlignment::Center);
  box->addSubview(title);

  box->addSubview(makePanelLabel({10, 40, 280, 30}, "姓名", 18));
  auto name = makePanelField({10, 70, 280, 40}, "请输入姓名");
  box->addSubview(name);
  nameF_ = name;

  box->addSubview(makePanelLabel({10, 120, 280, 30}, "身份证号", 18));
  auto code = makePanelField({10, 150, 280, 40}, "请输入身份证号");
  // Return in the card field submits (the name field's return moves on to it).
  code->addTarget(platform::ControlEvent::EditingDidEndOnExit, [weak](platform::Control&) {
    if (auto self = weak.lock()) self->doCommit();
  });
  box->addSubview(code);
  codeF_ = code;

  auto button = [&](Rect frame, const char* text, void (TolbaRealView::*action)()) {
    auto b = makePanelButton(frame, text, 18);
    b->addTarget(platform::ControlEvent::TouchUpInside, [weak, action](platform::Control&) {
      if (auto self = weak.lock()) ((*self).*action)();
    });
    box->addSubview(b);
  };
  button({10, 245, 135, 45}, "取消", &TolbaRealView::doCancel);
  button({155, 245, 135, 45}, "提交", &TolbaRealView::doCommit);
}

void TolbaRealView::doCommit() {
  if (requestInFlight_) return;  // the answer to the last submit is still to come
  auto name = nameF();
  auto code = codeF();
  std::weak_ptr<TolbaRealView> weak = std::static_pointer_cast<TolbaRealView>(shared_from_this());
  requestInFlight_ = true;
  TolbaApi::channelReal(
      name ? name->text() : "", code ? code->text() : "",
      [weak](const std::optional<Json>& reply, const Json&) {
        auto self = weak.lock();
        if (!self) return;  // the panel is gone: nobody to tell
        self->requestInFlight_ = false;
        if (self->completionBlock_) self->completionBlock_(reply);
      },
      [weak](const std::string& why) {
        platform::log("TolbaLog:real-name request got no answer (" + why + ")");
        auto self = weak.lock();
        if (!self) return;
        self->requestInFlight_ = false;
        TolbaMsg::showMessage(kNetworkFailedToast);
      });
}

void TolbaRealView::doCancel() {
  auto self = shared_from_this();  // the window may hold the last reference
  if (completionBlock_) completionBlock_(std::nullopt);
  removeFromSuperview();
}

void TolbaRealView::touchesBegan(const platform::Touch&) { endEditing(true); }

}  // namespace tolba
