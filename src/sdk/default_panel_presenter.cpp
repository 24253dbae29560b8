#include "sdk/panel_presenter.h"

#include "toolkit/application.h"
#include "ui/TolbaFloatView.h"
#include "ui/TolbaLoginView.h"
#include "ui/TolbaMsg.h"
#include "ui/TolbaPayView.h"
#include "ui/TolbaPlayTimeView.h"
#include "ui/TolbaRealView.h"

namespace tolba {
namespace {

// The SDK's own panels, full-screen in the application's key window, which
// owns them. Each panel logs when there is no key window to show it in.
class SdkPanelPresenter final : public PanelPresenter {
 public:
  bool canShowPanels() const override { return platform::Application::shared().keyWindow() != nullptr; }

  bool showLoginPanel(Completion completion) override {
    return TolbaLoginView::present([completion = std::move(completion)](const Json& result) {
             if (completion) completion(result);
           }) != nullptr;
  }

  std::weak_ptr<TolbaRealView> showRealNamePanel(Completion completion) override {
    return TolbaRealView::present(std::move(completion));
  }

  void removeRealNamePanel(const std::weak_ptr<TolbaRealView>& panel) override {
    if (auto shown = panel.lock()) shown->removeFromSuperview();
  }

  bool showPayPanel(std::shared_ptr<TolbaSDKPayOrderInfo> order, std::shared_ptr<TolbaSDKGameRoleInfo> role,
                    const std::optional<std::string>& orderId, Completion completion) override {
    return TolbaPayView::present(std::move(order), std::move(role), orderId,
                                 [completion = std::move(completion)](const Json& result) {
                                   if (completion) completion(result);
                                 }) != nullptr;
  }

  void showPlayTimeOverPanel() override {
    removePlayTimeOverPanel();
    playTimeOver_ = TolbaPlayTimeView::present();
  }

  void removePlayTimeOverPanel() override {
    if (auto shown = playTimeOver_.lock()) shown->removeFromSuperview();
  }

  void showFloatButton(std::function<void()> onTap) override {
    auto button = TolbaFloatView::shareInstance();
    button->showFloat();
    button->setClickBlock(std::move(onTap));
  }

  void hideFloatButton() override { TolbaFloatView::shareInstance()->hideFloat(); }

  void showWarning(const std::optional<std::string>& text) override { TolbaMsg::showMessage(text); }

 private:
  std::weak_ptr<TolbaPlayTimeView> playTimeOver_;
};

}  // namespace

std::shared_ptr<PanelPresenter> makeDefaultPanelPresenter() { return std::make_shared<SdkPanelPresenter>(); }

}  // namespace tolba
