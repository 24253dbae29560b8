#include "ui/TolbaAgreementView.h"

#include "model/TolbaSDKGameConfig.h"
#include "toolkit/button.h"
#include "toolkit/font.h"

namespace tolba {

using platform::Color;
using platform::Font;
using platform::Rect;

void TolbaAgreementView::initSubContentViews() {
  TolbaBaseView::initSubContentViews();
  if (name_) setName(name_);
  if (url_) load();
}

void TolbaAgreementView::fillContentBox() {
  setBackgroundColor(Color{0, 0, 0, 0.2});
  auto box = subContentView();
  box->setBackgroundColor(Color::whiteColor());

  auto title = std::make_shared<platform::Label>(Rect{0, 0, 300, 40});
  title->setText("协议");
  title->setTextColor(Color::blackColor());
  title->setFont(Font::systemFont(20, platform::FontWeight::Medium));
  title->setTextAlignment(platform::TextAlignment::Center);
  box->addSubview(title);
  titleL_ = title;

  auto back = std::make_shared<platform::Button>(Rect{0, 0, 40, 40});
  back->setTitle("返回");
  back->setTitleColor(Color::blackColor());
  back->setTitleFont(Font::systemFont(13));
  back->addTarget(platform::ControlEvent::TouchUpInside, [weak = weakSelf<TolbaAgreementView>()](platform::Control&) {
    if (auto self = weak.lock()) self->goBack();
  });
  box->addSubview(back);

  auto web = std::make_shared<platform::WebView>(Rect{0, 50, 300, 250});
  web->setPlainHttpAllowed(TolbaSDKGameConfig::getAllowPlainHttp());
  web->setBackgroundColor(Color::whiteColor());
  box->addSubview(web);
  webView_ = web;
}

void TolbaAgreementView::setName(std::optional<std::string> name) {
  name_ = std::move(name);
  if (auto title = titleL()) title->setText(name_.value_or(""));
}

void TolbaAgreementView::setUrl(std::optional<std::string> url) {
  url_ = std::move(url);
  load();
}

void TolbaAgreementView::load() {
  if (!url_) return;  // no address: nothing to load
  if (auto web = webView()) web->loadRequest(platform::URLRequest(url_.value_or("")));
}

void TolbaAgreementView::goBack() {
  auto self = shared_from_this();
  if (auto web = webView()) web->stopLoading();
  webView_.reset();
  removeFromSuperview();
}

}  // namespace tolba
