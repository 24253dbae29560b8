#pragma once
// Fixture for panel tests: UiTest with a portrait 375 x 667 key window and a
// loopback server that Tolba.plist's "url" points at, plus a look-up of the
// texts on screen (toasts included).

#include <memory>
#include <string>

#include "net/http_client.h"
#include "support/loopback_server.h"
#include "support/ui_fixture.h"
#include "toolkit/label.h"

namespace tolba::testing {

class PanelTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    server_ = std::make_unique<LoopbackServer>();
    writeConfig({{"url", server_->baseUrl()}, {"gameid", "1001"}, {"channel", "cps001"}});
    window_ = showKeyWindow({375, 667});
  }
  void TearDown() override {
    server_.reset();  // held replies end here
    runUntil([] { return HttpClient::shared().inFlight() == 0; });
    window_.reset();
    UiTest::TearDown();
  }

  // True when a label in `view`'s tree shows `text`.
  static bool showsText(const platform::View& view, const std::string& text) {
    if (auto* label = dynamic_cast<const platform::Label*>(&view); label && label->text() == text) return true;
    for (const auto& sub : view.subviews()) {
      if (showsText(*sub, text)) return true;
    }
    return false;
  }
  bool onScreen(const std::string& text) const { return showsText(*window_, text); }

  std::unique_ptr<LoopbackServer> server_;
  std::shared_ptr<platform::Window> window_;
};

}  // namespace tolba::testing
