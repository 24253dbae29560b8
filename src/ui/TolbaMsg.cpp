#include "ui/TolbaMsg.h"

#include <limits>

#include "toolkit/animation.h"
#include "toolkit/application.h"
#include "toolkit/label.h"
#include "toolkit/text_measurer.h"
#include "toolkit/window.h"

namespace tolba {

using platform::Color;
using platform::Font;
using platform::Rect;

void TolbaMsg::showMessage(const std::optional<std::string>& message, const std::shared_ptr<platform::View>& host) {
  if (!message || !host) return;
  const double sw = host->frame().width();
  const double sh = host->frame().height();

  auto box = std::make_shared<platform::View>(Rect{1, 1, 1, 1});
  box->setBackgroundColor(Color::blackColor());
  box->setAlpha(1.0);
  box->setCornerRadius(5.0);
  box->setClipsToBounds(true);
  host->addSubview(box);

  auto label = std::make_shared<platform::Label>();
  const Font bold = Font::boldSystemFont(16);
  double lw = getWidthWithText(message, bold.lineHeight(), 16);
  if (lw > sw - 40) {
    lw = sw - 40;
    label->setNumberOfLines(0);
  }
  label->setFrame({10, 10, lw, 0});
  label->setText(*message);
  label->setTextColor(Color::whiteColor());
  label->setTextAlignment(platform::TextAlignment::Center);
  label->setBackgroundColor(Color::clearColor());
  label->setFont(bold);
  label->sizeToFit();
  lw = label->frame().width();
  const double lh = label->frame().height();
  box->addSubview(label);
  box->setFrame({(sw - lw - 20) * 0.5, ((sh - lh - 20) / 3) * 2, lw + 20, lh + 20});

  std::weak_ptr<platform::View> weakBox = box;
  platform::animateWithDuration(
      2.0, 0.3, platform::AnimationOptionAllowUserInteraction, [box] { box->setAlpha(0.0); },
      [weakBox](bool) {
        if (auto b = weakBox.lock()) b->removeFromSuperview();
      });
}

void TolbaMsg::showMessage(const std::optional<std::string>& message) { showMessage(message, topWindow()); }

double TolbaMsg::getWidthWithText(const std::optional<std::string>& text, double height, double fontSize) {
  const std::string measured = (!text || text->empty()) ? std::string("无") : *text;
  const Font font = Font::systemFont(fontSize <= 0 ? 13.0 : fontSize);
  (void)height;  // one line is measured: the box's height does not limit the width
  return platform::TextMeasurer::current()
      .measure(measured, font, static_cast<double>(std::numeric_limits<float>::max()))
      .width;
}

std::shared_ptr<platform::Window> TolbaMsg::topWindow() {
  auto& app = platform::Application::shared();
  const Rect screen = app.mainScreenBounds();
  auto fits = [&](const std::shared_ptr<platform::Window>& w) {
    return w && w->bounds() == screen && !w->isHidden() && w->isOpaque();
  };
  auto key = app.keyWindow();
  if (fits(key)) return key;
  const auto windows = app.windows();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    if (fits(*it)) return *it;
  }
  return key;
}

}  // namespace tolba
