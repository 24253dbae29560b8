#pragma once
// What the facade's flows need from the user interface: opening the SDK's panels
// over the game, the floating switch-account button and toasts. The default
// presenter uses the SDK's own panels in the application's key window; tests of
// the flows can install their own.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tolba/TolbaSDKGameRoleInfo.h"
#include "tolba/TolbaSDKPayOrderInfo.h"

namespace tolba {

class TolbaRealView;

class PanelPresenter {
 public:
  using Json = nlohmann::json;
  using Completion = std::function<void(const std::optional<Json>& result)>;

  virtual ~PanelPresenter() = default;

  // Whether there is a key window to show panels in.
  virtual bool canShowPanels() const = 0;
  // Opens the login and register panel full-screen in the key window; false
  // (and no panel, and the completion never called) when it cannot be shown.
  virtual bool showLoginPanel(Completion completion) = 0;
  // Opens the real-name panel; the window owns it, the caller keeps it weakly.
  virtual std::weak_ptr<TolbaRealView> showRealNamePanel(Completion completion) = 0;
  // Takes the real-name panel off the screen (nothing when it is gone).
  virtual void removeRealNamePanel(const std::weak_ptr<TolbaRealView>& panel) = 0;
  // Opens the pay centre for an order the aggregation server accepted; false as
  // for the login panel.
  virtual bool showPayPanel(std::shared_ptr<TolbaSDKPayOrderInfo> order, std::shared_ptr<TolbaSDKGameRoleInfo> role,
                            const std::optional<std::string>& orderId, Completion completion) = 0;
  // The panel that ends a minor's play for today (it cannot be closed), and its
  // removal (nothing when it is not shown).
  virtual void showPlayTimeOverPanel() = 0;
  virtual void removePlayTimeOverPanel() = 0;
  virtual void showFloatButton(std::function<void()> onTap) = 0;
  virtual void hideFloatButton() = 0;
  // A short message to the player over the top window.
  virtual void showWarning(const std::optional<std::string>& text) = 0;

  // The presenter in use (the SDK's panels unless replaced).
  static PanelPresenter& current();
  // Installs `presenter`; nullptr restores the SDK's panels.
  static void setCurrent(std::shared_ptr<PanelPresenter> presenter);
};

// The presenter over the SDK's own panels.
std::shared_ptr<PanelPresenter> makeDefaultPanelPresenter();

}  // namespace tolba
