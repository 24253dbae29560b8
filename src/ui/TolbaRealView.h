#pragma once
// The real-name panel: the player's legal name and identity card number for the
// age check. Submit sends both, as typed, to the channel server and hands the
// reply to the completion block unchanged (nil when nothing could be read); the
// panel stays up, and its presenter closes it once it accepts a reply. Cancel
// hands over nil and closes the panel. A submit that gets no answer (a transport
// failure) hands over nothing and shows a toast, so that the player can submit
// again; while a submit is in flight another sends nothing.
//
// A presenter either calls present(), or does the same by hand: create the
// panel with TolbaBaseView::create<TolbaRealView>(screen bounds at (0, 0)), set
// the completion block, add it to the key window (which owns it) and keep only a
// weak reference; removeFromSuperview() takes it off the screen.

#include <functional>
#include <memory>
#include <optional>

#include <nlohmann/json.hpp>

#include "toolkit/text_field.h"
#include "ui/TolbaBaseView.h"

namespace tolba {

class TolbaRealView : public TolbaBaseView {
 public:
  using Json = nlohmann::json;
  // The server's reply, or nullopt on cancel and for a reply that did not decode.
  using CompletionBlock = std::function<void(const std::optional<Json>& result)>;

  // Creates the panel over the whole screen with `completion` and adds it to
  // the key window. Null (and a log line) when there is no key window.
  static std::shared_ptr<TolbaRealView> present(CompletionBlock completion);

  void fillContentBox() override;

  // Submit: sends the two texts; the reply goes to the completion block.
  void doCommit();
  // Cancel: the completion block gets nil, then the panel closes.
  void doCancel();

  // A touch on the backdrop puts the keyboard away.
  void touchesBegan(const platform::Touch& touch) override;

  const CompletionBlock& completionBlock() const { return completionBlock_; }
  void setCompletionBlock(CompletionBlock block) { completionBlock_ = std::move(block); }
  std::shared_ptr<platform::TextField> nameF() const { return nameF_.lock(); }
  void setNameF(const std::shared_ptr<platform::TextField>& v) { nameF_ = v; }
  std::shared_ptr<platform::TextField> codeF() const { return codeF_.lock(); }
  void setCodeF(const std::shared_ptr<platform::TextField>& v) { codeF_ = v; }

 private:
  std::weak_ptr<platform::TextField> nameF_;
  std::weak_ptr<platform::TextField> codeF_;
  CompletionBlock completionBlock_;
  bool requestInFlight_ = false;
};

}  // namespace tolba
