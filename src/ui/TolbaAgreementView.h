#pragma once
// The agreement panel: one agreement document (user agreement or privacy
// policy) as a web page in the 300 x 300 box, under its title, with a back
// button that closes the panel. The presenter creates it full-screen, sets the
// name and the address, and adds it to the key window.

#include <memory>
#include <optional>
#include <string>

#include "toolkit/label.h"
#include "toolkit/web_view.h"
#include "ui/TolbaBaseView.h"

namespace tolba {

class TolbaAgreementView : public TolbaBaseView {
 public:
  // After a rotation: the controls again, then the stored name and address, so
  // that turning the phone does not leave a blank page under the default title.
  void initSubContentViews() override;
  void fillContentBox() override;

  const std::optional<std::string>& name() const { return name_; }
  // Stores the name and shows it as the title.
  void setName(std::optional<std::string> name);
  const std::optional<std::string>& url() const { return url_; }
  // Stores the address and loads it (a plain request, no header of its own).
  void setUrl(std::optional<std::string> url);
  // Back button: stops loading and closes the panel.
  void goBack();

  std::shared_ptr<platform::Label> titleL() const { return titleL_.lock(); }
  void setTitleL(const std::shared_ptr<platform::Label>& label) { titleL_ = label; }
  std::shared_ptr<platform::WebView> webView() const { return webView_.lock(); }
  void setWebView(const std::shared_ptr<platform::WebView>& view) { webView_ = view; }

 private:
  void load();
  std::optional<std::string> name_;
  std::optional<std::string> url_;
  std::weak_ptr<platform::Label> titleL_;
  std::weak_ptr<platform::WebView> webView_;
};

}  // namespace tolba
