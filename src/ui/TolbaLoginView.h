#pragma once
// The login and register panel. The player types an account name and a
// password, switches on consent to the user agreement and the privacy policy
// and submits; the panel logs in to (or registers with, then logs in to) the
// channel account server and hands its presenter one result dictionary:
//
//   accepted login      {"code": "0", "msg": "成功", "name": b, "loginTime": e,
//                        "sign": d, "rzdic": the whole reply}
//   refused login       {"code": "-1", "msg": x}
//   refused registration {"code": "-1", "msg": d}
//
// A login reply, accepted or refused, closes the panel; a refused registration
// leaves it open in register mode so that the player can try again. A request
// that gets no answer (a transport failure) leaves the panel as it is, with a
// toast, so that the player can try again; while a request is in flight a
// submit sends nothing new.
//
// A presenter either calls present(), or does the same by hand: create the
// panel with TolbaBaseView::create<TolbaLoginView>(screen bounds at (0, 0)), add
// it to the key window, then setCompletionBlock().

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <nlohmann/json.hpp>

#include "toolkit/button.h"
#include "toolkit/label.h"
#include "toolkit/switch.h"
#include "toolkit/text_field.h"
#include "ui/TolbaBaseView.h"

namespace tolba {

class TolbaLoginView : public TolbaBaseView {
 public:
  using Json = nlohmann::json;
  using CompletionBlock = std::function<void(const Json& result)>;

  // Tags of the two agreement links.
  static constexpr std::int64_t kUserAgreementTag = 10;
  static constexpr std::int64_t kPrivacyPolicyTag = 11;

  // Creates the panel over the whole screen, adds it to the key window and sets
  // its completion block. Null (and a log line) when there is no key window.
  static std::shared_ptr<TolbaLoginView> present(CompletionBlock completion);

  // Colours the backdrop and builds the controls into the content box.
  void fillContentBox() override;

  // Mode toggle: flips the sender's selected flag and retitles the panel.
  void goToOtherView(platform::Button& sender);
  // Submit: the consent guard, then a login or a registration by the mode.
  void doViewLogin();
  // Agreement links: opens the user agreement (tag 10) or the privacy policy.
  void goToXieView(const platform::View& sender);
  // The two request flows, with the texts in the fields now.
  void doLogin();
  void doRegister();

  // A touch on the backdrop puts the keyboard away.
  void touchesBegan(const platform::Touch& touch) override;

  const CompletionBlock& completionBlock() const { return completionBlock_; }
  void setCompletionBlock(CompletionBlock block) { completionBlock_ = std::move(block); }

  std::shared_ptr<platform::TextField> nameF() const { return nameF_.lock(); }
  void setNameF(const std::shared_ptr<platform::TextField>& v) { nameF_ = v; }
  std::shared_ptr<platform::TextField> pwdF() const { return pwdF_.lock(); }
  void setPwdF(const std::shared_ptr<platform::TextField>& v) { pwdF_ = v; }
  std::shared_ptr<platform::Switch> boxBtn() const { return boxBtn_.lock(); }
  void setBoxBtn(const std::shared_ptr<platform::Switch>& v) { boxBtn_ = v; }
  std::shared_ptr<platform::Button> statusBtn() const { return statusBtn_.lock(); }
  void setStatusBtn(const std::shared_ptr<platform::Button>& v) { statusBtn_ = v; }
  std::shared_ptr<platform::Label> titleL() const { return titleL_.lock(); }
  void setTitleL(const std::shared_ptr<platform::Label>& v) { titleL_ = v; }
  std::shared_ptr<platform::Button> loginBtn() const { return loginBtn_.lock(); }
  void setLoginBtn(const std::shared_ptr<platform::Button>& v) { loginBtn_ = v; }

 private:
  void handleLoginReply(const std::optional<Json>& reply);
  void requestGotNoAnswer(const std::string& why);
  void handleRegisterReply(const std::optional<Json>& reply);
  void finish(const Json& result);

  CompletionBlock completionBlock_;
  std::weak_ptr<platform::TextField> nameF_;
  std::weak_ptr<platform::TextField> pwdF_;
  std::weak_ptr<platform::Switch> boxBtn_;
  std::weak_ptr<platform::Button> statusBtn_;
  std::weak_ptr<platform::Label> titleL_;
  std::weak_ptr<platform::Button> loginBtn_;
  bool requestInFlight_ = false;
};

}  // namespace tolba
