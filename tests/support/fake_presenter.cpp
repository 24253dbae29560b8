#include "support/fake_presenter.h"

namespace tolba::testing {

void FakePresenter::showLoginPanel(Completion completion) {
  ++loginPanels;
  loginCompletion = std::move(completion);
}

std::weak_ptr<TolbaRealView> FakePresenter::showRealNamePanel(Completion completion) {
  ++realNamePanels;
  realNameCompletion = std::move(completion);
  return {};
}

void FakePresenter::removeRealNamePanel(const std::weak_ptr<TolbaRealView>&) { ++realNameRemovals; }

void FakePresenter::showPayPanel(std::shared_ptr<TolbaSDKPayOrderInfo>, std::shared_ptr<TolbaSDKGameRoleInfo>,
                                 const std::optional<std::string>& orderId, Completion completion) {
  ++payPanels;
  payOrderId = orderId;
  payCompletion = std::move(completion);
}

void FakePresenter::showFloatButton(std::function<void()> onTap) {
  floatShown = true;
  floatTap = std::move(onTap);
}

void FakePresenter::hideFloatButton() { floatShown = false; }

void FakePresenter::showWarning(const std::optional<std::string>& text) { warnings.push_back(text); }

}  // namespace tolba::testing
