#include "sdk/process_reset.h"

#include "model/TolbaSDKGameConfig.h"
#include "platform/test_access.h"
#include "sdk/TolbaSDKCore.h"
#include "sdk/panel_presenter.h"
#include "tolba/platform/device.h"
#include "tolba/platform/run_loop.h"
#include "toolkit/application.h"
#include "toolkit/text_field.h"
#include "toolkit/text_measurer.h"
#include "ui/TolbaFloatView.h"

namespace tolba {

void resetProcessState(std::shared_ptr<platform::Clock> clock) {
  auto& loop = platform::RunLoop::main();
  platform::PlatformTestAccess::reset(loop);
  if (clock) platform::PlatformTestAccess::setClock(loop, std::move(clock));
  TolbaFloatView::resetForTesting();
  if (auto focused = platform::TextField::focusedField()) focused->resignFirstResponder();
  platform::Application::shared().reset();
  platform::TextMeasurer::setCurrent(nullptr);
  PanelPresenter::setCurrent(nullptr);
  TolbaSDKCore::resetForTesting();
  TolbaSDKGameConfig::resetForTesting();
  platform::Device::current().reset();
}

}  // namespace tolba
