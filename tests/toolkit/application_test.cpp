// The application: screen and orientation, openURL.
#include <gtest/gtest.h>

#include "support/ui_fixture.h"
#include "tolba/player/player.h"
#include "toolkit/application.h"
#include "toolkit/window.h"

namespace tolba::platform {
namespace {

using player::Player;

class ApplicationTest : public testing::UiTest {};

TEST_F(ApplicationTest, TurningTheDeviceSwapsTheScreenAndTellsTheMainLoop) {
  auto window = showKeyWindow({375, 667});
  auto small = std::make_shared<Window>(Rect{0, 0, 100, 100});
  app().addWindow(small);
  testing::NotificationRecorder rec({kApplicationDidChangeStatusBarOrientationNotification});

  Player::rotate(InterfaceOrientationLandscapeRight);
  EXPECT_EQ(app().mainScreenBounds(), (Rect{0, 0, 667, 375}));
  EXPECT_EQ(window->rootView()->frame(), (Rect{0, 0, 667, 375}));
  EXPECT_EQ(small->frame(), (Rect{0, 0, 100, 100}));  // did not cover the screen
  EXPECT_TRUE(rec.posted().empty());                  // posted, not delivered inline
  drain();
  EXPECT_EQ(rec.posted().size(), 1u);

  // Landscape to landscape: no swap, still announced. The same again: nothing.
  Player::rotate(InterfaceOrientationLandscapeLeft);
  Player::rotate(InterfaceOrientationLandscapeLeft);
  drain();
  EXPECT_EQ(app().mainScreenBounds(), (Rect{0, 0, 667, 375}));
  EXPECT_EQ(rec.posted().size(), 2u);
  Player::rotate(InterfaceOrientationPortrait);
  EXPECT_EQ(app().mainScreenBounds(), (Rect{0, 0, 375, 667}));

  // An unknown orientation in between keeps the shape; the next landscape one turns it.
  Player::rotate(InterfaceOrientationUnknown);
  EXPECT_EQ(app().mainScreenBounds(), (Rect{0, 0, 375, 667}));
  Player::rotate(InterfaceOrientationLandscapeRight);
  EXPECT_EQ(app().mainScreenBounds(), (Rect{0, 0, 667, 375}));
}

TEST_F(ApplicationTest, OpenURLGoesToTheSchemesHandler) {
  std::vector<std::string> opened;
  app().registerSchemeHandler("weixin", [&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  std::vector<bool> results;
  app().openURL("weixin://wap/pay?prepayid=1", {}, [&](bool ok) { results.push_back(ok); });
  app().openURL("alipay://x", {}, [&](bool ok) { results.push_back(ok); });
  EXPECT_TRUE(opened.empty());  // never inside the caller's stack
  drain();
  EXPECT_EQ(opened, std::vector<std::string>{"weixin://wap/pay?prepayid=1"});
  EXPECT_EQ(results, (std::vector<bool>{true, false}));
  // The other application came to the front.
  EXPECT_EQ(app().applicationState(), ApplicationState::Background);
  EXPECT_TRUE(log_->contains("openURL: no application takes alipay://x"));
}

}  // namespace
}  // namespace tolba::platform
