#pragma once
// A panel presenter that records what the facade asked for and lets the test
// play the panels' completions.

#include <optional>
#include <string>
#include <vector>

#include "sdk/panel_presenter.h"

namespace tolba::testing {

class FakePresenter : public PanelPresenter {
 public:
  bool canShowPanels() const override { return hasWindow; }
  bool showLoginPanel(Completion completion) override;
  std::weak_ptr<TolbaRealView> showRealNamePanel(Completion completion) override;
  void removeRealNamePanel(const std::weak_ptr<TolbaRealView>& panel) override;
  bool showPayPanel(std::shared_ptr<TolbaSDKPayOrderInfo> order, std::shared_ptr<TolbaSDKGameRoleInfo> role,
                    const std::optional<std::string>& orderId, Completion completion) override;
  void showPlayTimeOverPanel() override { playTimeOverShown = true; }
  void removePlayTimeOverPanel() override { playTimeOverShown = false; }
  void showFloatButton(std::function<void()> onTap) override;
  void hideFloatButton() override;
  void showWarning(const std::optional<std::string>& text) override;

  bool hasWindow = true;  // false: no panel can be shown
  int loginPanels = 0;
  int realNamePanels = 0;
  int realNameRemovals = 0;
  int payPanels = 0;
  bool floatShown = false;
  bool playTimeOverShown = false;
  std::optional<std::string> payOrderId;
  std::vector<std::optional<std::string>> warnings;
  Completion loginCompletion;
  Completion realNameCompletion;
  Completion payCompletion;
  std::function<void()> floatTap;
};

}  // namespace tolba::testing
