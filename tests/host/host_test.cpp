// The host interface as a game drives it: touches taken or passed to the game,
// typing and composition into the focused field, editing keys, the keyboard and
// the panel moving out of its way, the redraw question, resizing, the list of
// controls and addresses handed to the game's URL opener.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>

#include "support/ui_fixture.h"
#include "tolba/TolbaHost.h"
#include "tolba/TolbaSDK.h"
#include "toolkit/application.h"
#include "toolkit/keyboard.h"
#include "toolkit/label.h"
#include "toolkit/text_field.h"
#include "ui/TolbaFloatView.h"
#include "ui/TolbaLoginView.h"
#include "ui/TolbaMsg.h"
#include "ui/TolbaRealView.h"

namespace tolba {
namespace {

using platform::Point;
using platform::Rect;

class HostTest : public testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    host().setScreen({});  // 375 x 667 portrait at scale 2
  }
  static TolbaHost& host() { return TolbaHost::shared(); }

  std::shared_ptr<TolbaLoginView> login() {
    auto panel = TolbaLoginView::present([](const nlohmann::json&) {});
    EXPECT_TRUE(panel);
    return panel;
  }
  static std::optional<TolbaElement> element(const std::string& text) {
    for (const auto& e : host().elements()) {
      if (e.text == text) return e;
    }
    return std::nullopt;
  }
  // A tap through the host; answers whether the SDK took both phases.
  static bool tapAt(Point p, std::int64_t finger = 1) {
    const bool began = host().touch(finger, TolbaTouchPhase::Began, p.x, p.y);
    const bool ended = host().touch(finger, TolbaTouchPhase::Ended, p.x, p.y);
    EXPECT_EQ(began, ended);
    return began && ended;
  }
  static bool tap(const std::string& text) {
    auto e = element(text);
    if (!e) ADD_FAILURE() << "nothing on screen reads " << text;
    return e && tapAt({e->x + e->width * 0.5, e->y + e->height * 0.5});
  }
  static std::string focusedText() {
    auto field = platform::TextField::focusedField();
    return field ? field->text() : "<none>";
  }
};

TEST_F(HostTest, TouchesOnTheSdkAreTakenAndOthersGoToTheGame) {
  EXPECT_FALSE(host().hasContent());
  EXPECT_FALSE(tapAt({10, 10}));  // nothing of the SDK's on screen

  auto panel = login();
  EXPECT_TRUE(host().hasContent());
  EXPECT_TRUE(tapAt({10, 10}));  // the backdrop swallows it
  ASSERT_TRUE(tap("登录"));      // consent is off: a toast, nothing sent
  EXPECT_TRUE(element("需要确认用户隐私协议"));

  // A second finger while the first is down on the panel is the SDK's too, and
  // a finger the SDK never took stays the game's.
  EXPECT_TRUE(host().touch(1, TolbaTouchPhase::Began, 10, 10));
  EXPECT_TRUE(host().touch(2, TolbaTouchPhase::Began, 300, 600));
  EXPECT_TRUE(host().touch(2, TolbaTouchPhase::Ended, 300, 600));
  EXPECT_TRUE(host().touch(1, TolbaTouchPhase::Cancelled, 10, 10));
  EXPECT_FALSE(host().touch(3, TolbaTouchPhase::Moved, 5, 5));

  panel->removeFromSuperview();
  advance(3);  // the toast fades away
  EXPECT_FALSE(tapAt({10, 10}));
  EXPECT_FALSE(host().hasContent());
}

TEST_F(HostTest, TheFloatingButtonDragsThroughTheHost) {
  auto button = TolbaFloatView::shareInstance();
  const Point c = button->center();  // (355, 353.5)
  EXPECT_FALSE(tapAt({100, 300}));
  ASSERT_TRUE(host().touch(7, TolbaTouchPhase::Began, c.x, c.y));
  for (int step = 1; step <= 4; ++step) {
    EXPECT_TRUE(host().touch(7, TolbaTouchPhase::Moved, c.x + (100 - c.x) * step / 4, c.y + (300 - c.y) * step / 4));
  }
  EXPECT_TRUE(host().touch(7, TolbaTouchPhase::Ended, 100, 300));
  EXPECT_EQ(button->center(), (Point{20, 300}));
}

TEST_F(HostTest, TheFloatingButtonKeepsToItsEdgeWhenTheScreenChanges) {
  auto button = TolbaFloatView::shareInstance();
  advance(1.5);  // parked half off the right edge
  ASSERT_EQ(button->center(), (Point{375, 353.5}));
  struct Case {
    TolbaScreen screen;
    Point center;
  };
  const Case cases[] = {
      {{.width = 667, .height = 375, .orientation = TolbaOrientation::LandscapeRight}, {667, 353.5}},
      {{.width = 500, .height = 300, .orientation = TolbaOrientation::LandscapeRight}, {500, 280}},
      {{.width = 375, .height = 667}, {375, 280}},
  };
  for (const auto& c : cases) {
    host().setScreen(c.screen);
    EXPECT_EQ(button->center(), c.center);
  }
  EXPECT_TRUE(tapAt({370, 280}));  // within reach: the tap reveals it
  EXPECT_EQ(button->center(), (Point{355, 280}));
}

TEST_F(HostTest, TypingComposingAndKeysGoToTheFocusedField) {
  EXPECT_FALSE(host().textInput("a"));
  EXPECT_FALSE(host().key(TolbaKey::Backspace));
  auto panel = login();
  ASSERT_TRUE(tap("请输入账号"));
  ASSERT_TRUE(host().wantsTextInput());

  // A Chinese input method: the composition shows after the text, then commits.
  EXPECT_TRUE(host().textInput("ab"));
  EXPECT_TRUE(host().textEditing("zhong", 99));
  EXPECT_EQ(panel->nameF()->markedText(), "zhong");
  EXPECT_EQ(panel->nameF()->markedCursor(), 5);  // held to the composition's length
  EXPECT_TRUE(element("abzhong"));
  EXPECT_TRUE(host().key(TolbaKey::Backspace));  // the input method's, while composing
  EXPECT_TRUE(host().textInput("中"));
  EXPECT_EQ(panel->nameF()->text(), "ab中");
  EXPECT_EQ(panel->nameF()->markedText(), "");
  EXPECT_TRUE(host().key(TolbaKey::Backspace));
  EXPECT_EQ(panel->nameF()->text(), "ab");
  EXPECT_TRUE(host().textInput("\xff\n"));        // not printable UTF-8: dropped
  EXPECT_TRUE(host().textInput("\xed\xa0\x80"));  // an encoded surrogate, which no server would take
  EXPECT_EQ(panel->nameF()->text(), "ab");

  // Return moves on to the password, tab wraps round, return in the password
  // submits (consent is off: the toast), escape puts the keyboard away.
  EXPECT_TRUE(host().key(TolbaKey::Return));
  EXPECT_EQ(platform::TextField::focusedField(), panel->pwdF());
  EXPECT_TRUE(host().key(TolbaKey::Tab));
  EXPECT_EQ(platform::TextField::focusedField(), panel->nameF());
  EXPECT_TRUE(host().key(TolbaKey::Tab));
  EXPECT_TRUE(host().key(TolbaKey::Return));
  EXPECT_FALSE(host().wantsTextInput());
  EXPECT_TRUE(element("需要确认用户隐私协议"));
  ASSERT_TRUE(tap("请输入密码"));
  EXPECT_TRUE(host().key(TolbaKey::Escape));
  EXPECT_FALSE(host().wantsTextInput());
  EXPECT_FALSE(host().key(TolbaKey::Escape));
}

TEST_F(HostTest, TheKeyboardRisesAndTheRealNameBoxMovesAboveItInLandscape) {
  testing::NotificationRecorder posted(
      {platform::kKeyboardWillShowNotification, platform::kKeyboardWillHideNotification});
  host().setScreen({.width = 667, .height = 375, .orientation = TolbaOrientation::LandscapeRight});
  drain();
  auto panel = TolbaRealView::present([](const std::optional<nlohmann::json>&) {});
  ASSERT_TRUE(panel);
  auto box = panel->subContentView();
  EXPECT_EQ(box->frame(), (Rect{183.5, 37.5, 300, 300}));

  struct Step {
    const char* field;  // tapped, or null for escape
    const char* notice;
    double boxY;
  };
  // The card field's bottom (37.5 + 190) lies under the keyboard's top (375 - 162):
  // the box rises to keep 10 points between them. The name field is clear of it.
  const Step steps[] = {{"请输入姓名", platform::kKeyboardWillShowNotification, 37.5},
                        {"请输入身份证号", platform::kKeyboardWillShowNotification, 13},
                        {"请输入姓名", platform::kKeyboardWillShowNotification, 37.5},
                        {"请输入身份证号", platform::kKeyboardWillShowNotification, 13},
                        {nullptr, platform::kKeyboardWillHideNotification, 37.5}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.field ? step.field : "escape");
    posted.clear();
    if (step.field) {
      ASSERT_TRUE(tap(step.field));
    } else {
      ASSERT_TRUE(host().key(TolbaKey::Escape));
    }
    ASSERT_EQ(posted.names(), std::vector<std::string>{step.notice});
    const Rect end = platform::Keyboard::endFrame(posted.posted()[0].userInfo);
    EXPECT_EQ(end, (Rect{0, step.field ? 213.0 : 375.0, 667, 162}));
    advance(platform::Keyboard::kAnimationDuration);
    EXPECT_EQ(box->frame().y(), step.boxY);
    EXPECT_EQ(box->presentationCenter().y, step.boxY + 150);
  }
  advance(1);
  EXPECT_TRUE(platform::Keyboard::shared().view()->isHidden());
}

TEST_F(HostTest, RedrawIsAskedForAfterAChangeAndWhileSomethingMoves) {
  auto label = std::make_shared<platform::Label>(Rect{0, 0, 100, 20});
  app().keyWindow()->rootView()->addSubview(label);
  host().didDraw();
  EXPECT_FALSE(host().needsRedraw());
  label->setText("x");
  EXPECT_TRUE(host().needsRedraw());
  host().didDraw();
  label->setText("x");  // the same text again changes nothing
  EXPECT_FALSE(host().needsRedraw());

  label->removeFromSuperview();
  TolbaMsg::showMessage(std::string("提示"));
  for (int frame = 0; frame < 10; ++frame) {  // 0.3 s still, then 2 s of fade
    EXPECT_TRUE(host().needsRedraw()) << frame;
    host().didDraw();
    advance(0.25);
  }
  EXPECT_TRUE(host().needsRedraw());  // gone: one last picture without it
  EXPECT_FALSE(host().hasContent());
  host().didDraw();
  advance(1);
  EXPECT_FALSE(host().needsRedraw());
}

TEST_F(HostTest, AResizeRebuildsTheOpenPanelAsARotationDoes) {
  auto panel = login();
  ASSERT_TRUE(tap("请输入账号"));
  ASSERT_TRUE(host().textInput("player"));
  host().setScreen({.width = 414, .height = 736, .scale = 3});
  EXPECT_EQ(host().pixelWidth(), 1242);
  EXPECT_EQ(host().pixelHeight(), 2208);
  drain();
  EXPECT_EQ(panel->frame(), (Rect{0, 0, 414, 736}));
  EXPECT_EQ(panel->subContentView()->frame(), (Rect{57, 218, 300, 300}));
  EXPECT_EQ(panel->nameF()->text(), "");
  EXPECT_EQ(panel->subContentView()->subviews().size(), 12u);  // built once, not twice
  EXPECT_FALSE(host().wantsTextInput());
  // Turning and resizing at once rebuilds once as well.
  host().setScreen({.width = 800, .height = 400, .orientation = TolbaOrientation::LandscapeLeft});
  drain();
  EXPECT_EQ(panel->subContentView()->frame(), (Rect{250, 50, 300, 300}));
  EXPECT_EQ(panel->subContentView()->subviews().size(), 12u);
  EXPECT_EQ(host().screen().orientation, TolbaOrientation::LandscapeLeft);
}

TEST_F(HostTest, ElementsListWhatThePlayerCanSeeAndUse) {
  auto panel = login();
  auto agreementBehind = element("用户协议");
  ASSERT_TRUE(agreementBehind);
  EXPECT_EQ(agreementBehind->kind, "button");
  const auto account = element("请输入账号");
  ASSERT_TRUE(account);
  EXPECT_EQ(account->kind, "field");
  EXPECT_EQ((Rect{account->x, account->y, account->width, account->height}), (Rect{127.5, 223.5, 190, 40}));
  std::vector<std::string> kinds;
  for (const auto& e : host().elements()) kinds.push_back(e.kind + ":" + e.text);
  for (const char* expected : {"label:登录", "label:用户名", "field:请输入密码", "switch:", "label:请阅读",
                               "button:隐私政策", "button:没有账号？去注册", "button:登录"}) {
    EXPECT_NE(std::find(kinds.begin(), kinds.end(), expected), kinds.end()) << expected;
  }
  EXPECT_EQ(kinds.size(), 12u);

  // Secure fields show bullets; an agreement panel on top hides the login panel.
  panel->pwdF()->setSecureTextEntry(true);
  ASSERT_TRUE(tap("请输入密码"));
  ASSERT_TRUE(host().textInput("密码ab"));
  EXPECT_TRUE(element("\u2022\u2022\u2022\u2022"));
  ASSERT_TRUE(tap("用户协议"));
  EXPECT_FALSE(element("请输入账号"));
  EXPECT_TRUE(element("返回"));
}

TEST_F(HostTest, AddressesNoApplicationTakesGoToTheHostsOpener) {
  std::vector<std::string> opened;
  host().setOpenURLHandler([&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  std::optional<bool> result;
  app().openURL("weixin://wap/pay?prepayid=1", {}, [&](bool ok) { result = ok; });
  drain();
  EXPECT_EQ(opened, std::vector<std::string>{"weixin://wap/pay?prepayid=1"});
  EXPECT_EQ(result, true);
  // A scheme handler (a test's stand-in WeChat) comes first.
  app().registerSchemeHandler("weixin", [](const std::string&) { return false; });
  app().openURL("weixin://again");
  drain();
  EXPECT_EQ(opened.size(), 1u);
}

#ifndef NDEBUG
// Debug builds stop a call from a thread that does not drive the main run loop
// at once, naming it.
TEST_F(HostTest, DebugBuildsStopCallsFromAnotherThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  drain();  // this thread drives the loop from now on
  auto elsewhere = [](void (*call)()) { std::thread(call).join(); };
  EXPECT_DEATH(elsewhere([] { TolbaHost::shared().touch(1, TolbaTouchPhase::Began, 10, 10); }),
               "TolbaHost::touch was called on a thread that does not drive the main run loop");
  EXPECT_DEATH(elsewhere([] { TolbaSDK::defaultInstance()->login(); }), "TolbaSDK::login was called");
  TolbaHost::shared().touch(1, TolbaTouchPhase::Cancelled, 10, 10);  // the loop's own thread passes
}
#endif

}  // namespace
}  // namespace tolba
