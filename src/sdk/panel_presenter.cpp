#include "sdk/panel_presenter.h"

#include <mutex>

namespace tolba {
namespace {

struct Slot {
  std::mutex mutex;
  std::shared_ptr<PanelPresenter> presenter;
};

Slot& slot() {
  static auto* s = new Slot();
  return *s;
}

}  // namespace

PanelPresenter& PanelPresenter::current() {
  std::lock_guard lock(slot().mutex);
  if (!slot().presenter) slot().presenter = makeDefaultPanelPresenter();
  return *slot().presenter;
}

void PanelPresenter::setCurrent(std::shared_ptr<PanelPresenter> presenter) {
  std::lock_guard lock(slot().mutex);
  slot().presenter = std::move(presenter);
}

}  // namespace tolba
