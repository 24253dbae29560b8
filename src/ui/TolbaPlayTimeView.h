#pragma once
// The panel that ends a minor's play for the day: "今日游戏时间已结束" over the
// whole game, with nothing to tap and no way to close it. It stays until the
// SDK takes it away (the next login).

#include <memory>

#include "ui/TolbaBaseView.h"

namespace tolba {

class TolbaPlayTimeView : public TolbaBaseView {
 public:
  // Creates the panel over the whole screen and adds it to the key window. Null
  // (and a log line) when there is no key window.
  static std::shared_ptr<TolbaPlayTimeView> present();

 private:
  void fillContentBox() override;
};

}  // namespace tolba
