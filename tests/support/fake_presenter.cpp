#include "support/fake_presenter.h"

namespace tolba::testing {

bool FakePresenter::showLoginPanel(Completion completion) {
  if (!hasWindow) return false;
  ++loginPanels;
  loginCompletion = std::move(completion);
  return true;
}

std::weak_ptr<TolbaRealView> FakePresenter::showRealNamePanel(Completion completion) {
  ++realNamePanels;
  realNameCompletion = std::move(completion);
  return {};
}

void FakePresenter::removeRealNamePanel(const std::weak_ptr<TolbaRealView>&) { ++realNameRemovals; }

bool FakePresenter::showPayPanel(std::shared_ptr<TolbaSDKPayOrderInfo>, std::shared_ptr<TolbaSDKGameRoleInfo>,
                                 const std::optional<std::string>& orderId, Completion completion) {
  if (!hasWindow) return false;
  ++payPanels;
  payOrderId = orderId;
  payCompletion = std::move(completion);
  return true;
}

void FakePresenter::showFloatButton(std::function<void()> onTap) {
  floatShown = true;
  floatTap = std::move(onTap);
}

void FakePresenter::hideFloatButton() { floatShown = false; }

void FakePresenter::showWarning(const std::optional<std::string>& text) { warnings.push_back(text); }

}  // namespace tolba::testing
