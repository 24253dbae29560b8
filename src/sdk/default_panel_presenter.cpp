#include "sdk/panel_presenter.h"

#include "tolba/platform/log.h"

namespace tolba {
namespace {

// Placeholder until the panels exist: logs what would be shown.
class LoggingPresenter final : public PanelPresenter {
 public:
  void showLoginPanel(Completion) override { platform::log("TolbaLog:login panel is not available"); }
  std::weak_ptr<TolbaRealView> showRealNamePanel(Completion) override { return {}; }
  void removeRealNamePanel(const std::weak_ptr<TolbaRealView>&) override {}
  void showPayPanel(std::shared_ptr<TolbaSDKPayOrderInfo>, std::shared_ptr<TolbaSDKGameRoleInfo>,
                    const std::optional<std::string>&, Completion) override {}
  void showFloatButton(std::function<void()>) override {}
  void hideFloatButton() override {}
  void showWarning(const std::optional<std::string>& text) override {
    if (text) platform::log(*text);
  }
};

}  // namespace

std::shared_ptr<PanelPresenter> makeDefaultPanelPresenter() { return std::make_shared<LoggingPresenter>(); }

}  // namespace tolba
