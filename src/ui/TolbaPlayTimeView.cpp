#include "ui/TolbaPlayTimeView.h"

#include "toolkit/color.h"
#include "toolkit/font.h"
#include "toolkit/window.h"
#include "ui/panel_controls.h"

namespace tolba {

std::shared_ptr<TolbaPlayTimeView> TolbaPlayTimeView::present() {
  return presentInKeyWindow<TolbaPlayTimeView>("play-time panel");
}

void TolbaPlayTimeView::fillContentBox() {
  // Darker than the other panels' backdrop: the game behind is over for today.
  setBackgroundColor(platform::Color{0, 0, 0, 0.6});
  auto box = subContentView();
  box->setBackgroundColor(platform::Color::whiteColor());
  auto title = makePanelLabel({0, 90, 300, 40}, "今日游戏时间已结束", 20);
  title->setFont(platform::Font::systemFont(20, platform::FontWeight::Medium));
  title->setTextAlignment(platform::TextAlignment::Center);
  box->addSubview(title);
  auto hint = makePanelLabel({20, 140, 260, 60},
                             "根据国家规定，未成年人仅可在周五、周六、周日和法定节假日20时至21时进行游戏", 14);
  hint->setTextAlignment(platform::TextAlignment::Center);
  hint->setNumberOfLines(0);
  box->addSubview(hint);
}

}  // namespace tolba
