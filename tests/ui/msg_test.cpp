// Toasts: layout of the box and label, wrapping, timing, measuring, and the
// choice of window they appear in.
#include <gtest/gtest.h>

#include "support/ui_fixture.h"
#include "toolkit/label.h"
#include "toolkit/window.h"
#include "ui/TolbaMsg.h"

namespace tolba {
namespace {

using platform::Rect;
using platform::Window;

class MsgTest : public testing::UiTest {
 protected:
  // The toast box: the host's last subview.
  static std::shared_ptr<platform::View> toastIn(const platform::View& host) {
    return host.subviews().empty() ? nullptr : host.subviews().back();
  }
  static std::shared_ptr<platform::Label> labelOf(const platform::View& box) {
    return box.subviews().size() == 1 ? std::dynamic_pointer_cast<platform::Label>(box.subviews()[0]) : nullptr;
  }
  std::shared_ptr<Window> fullWindow() {
    auto w = std::make_shared<Window>(app().mainScreenBounds());
    w->setHidden(false);
    app().addWindow(w);
    return w;
  }
};

TEST_F(MsgTest, AShortMessageSitsOnOneLineInTheLowerPart) {
  auto host = std::make_shared<platform::View>(Rect{0, 0, 375, 667});
  TolbaMsg::showMessage(std::string("登录成功"), host);
  auto box = toastIn(*host);
  ASSERT_TRUE(box);
  auto label = labelOf(*box);
  ASSERT_TRUE(label);

  // Headless metrics: a CJK character is as wide as the font size, a line 1.2 times it.
  EXPECT_EQ(label->frame(), (Rect{10, 10, 64, 16 * 1.2}));
  EXPECT_EQ(label->numberOfLines(), 1);
  EXPECT_EQ(label->text(), "登录成功");
  EXPECT_EQ(box->frame(), (Rect{(375 - 64 - 20) * 0.5, ((667 - 16 * 1.2 - 20) / 3) * 2, 84, 16 * 1.2 + 20}));
}

TEST_F(MsgTest, AMessageWiderThanTheHostLess40Wraps) {
  auto host = std::make_shared<platform::View>(Rect{0, 0, 375, 667});
  const std::string text = "服务器连接错误服务器连接错误服务器连接错误服务器连接错误服务";  // 30 characters, 480 points
  TolbaMsg::showMessage(text, host);
  auto box = toastIn(*host);
  ASSERT_TRUE(box);
  auto label = labelOf(*box);
  ASSERT_TRUE(label);
  EXPECT_EQ(label->numberOfLines(), 0);
  // 20 characters fit in 335 points: two lines.
  EXPECT_EQ(label->frame(), (Rect{10, 10, 320, 2 * 16 * 1.2}));
  EXPECT_EQ(box->frame().x(), (375 - 320 - 20) * 0.5);

  // Just at the limit: still one line.
  auto narrow = std::make_shared<platform::View>(Rect{0, 0, 104, 300});
  TolbaMsg::showMessage(std::string("登录成功"), narrow);
  EXPECT_EQ(labelOf(*toastIn(*narrow))->numberOfLines(), 1);
  auto narrower = std::make_shared<platform::View>(Rect{0, 0, 103, 300});
  TolbaMsg::showMessage(std::string("登录成功"), narrower);
  auto wrapped = labelOf(*toastIn(*narrower));
  EXPECT_EQ(wrapped->numberOfLines(), 0);
  EXPECT_EQ(wrapped->frame(), (Rect{10, 10, 48, 2 * 16 * 1.2}));
}

TEST_F(MsgTest, OpaqueFor300msThenFadesAndIsGoneAfter2300ms) {
  auto host = std::make_shared<platform::View>(Rect{0, 0, 375, 667});
  TolbaMsg::showMessage(std::string("接口异常"), host);
  std::weak_ptr<platform::View> box = toastIn(*host);
  ASSERT_FALSE(box.expired());
  advance(0.3);
  EXPECT_EQ(box.lock()->presentationAlpha(), 1.0);
  advance(1.0);
  EXPECT_NEAR(box.lock()->presentationAlpha(), 0.5, 1e-9);
  advance(0.99);
  EXPECT_EQ(host->subviews().size(), 1u);
  advance(0.01);
  EXPECT_TRUE(host->subviews().empty());
  EXPECT_TRUE(box.expired());
}

TEST_F(MsgTest, NothingForANilMessageOrANullHost) {
  auto host = std::make_shared<platform::View>(Rect{0, 0, 375, 667});
  TolbaMsg::showMessage(std::nullopt, host);
  EXPECT_TRUE(host->subviews().empty());
  TolbaMsg::showMessage(std::string("x"), nullptr);
  // No window at all: nowhere to show, and no crash.
  TolbaMsg::showMessage(std::string("x"));
  advance(3);
}

TEST_F(MsgTest, Measuring) {
  EXPECT_EQ(TolbaMsg::getWidthWithText(std::string(""), 19.2, 16), 16);  // "无"
  EXPECT_EQ(TolbaMsg::getWidthWithText(std::string("ab"), -5, -1), 13);  // size 13
  EXPECT_EQ(TolbaMsg::getWidthWithText(std::string("余额不足abc"), 0, 20), 4 * 20 + 3 * 10);
  // Several lines: the widest.
  EXPECT_EQ(TolbaMsg::getWidthWithText(std::string("ab\n平台币"), 19.2, 10), 30);
}

TEST_F(MsgTest, TheKeyWindowUnlessTransparentOrSmallerThenTheFrontMostFullWindow) {
  auto key = showKeyWindow({375, 667});
  auto back = fullWindow();
  auto front = fullWindow();
  EXPECT_EQ(TolbaMsg::topWindow(), key);
  key->setOpaque(false);
  EXPECT_EQ(TolbaMsg::topWindow(), front);
  front->setHidden(true);
  EXPECT_EQ(TolbaMsg::topWindow(), back);
  back->setOpaque(false);
  // None qualifies: the key window after all.
  EXPECT_EQ(TolbaMsg::topWindow(), key);

  key->setOpaque(true);
  key->setFrame({0, 0, 375, 600});
  back->setOpaque(true);
  EXPECT_EQ(TolbaMsg::topWindow(), back);
  key->setHidden(true);
  key->setFrame({0, 0, 375, 667});
  EXPECT_EQ(TolbaMsg::topWindow(), back);
}

TEST_F(MsgTest, WarningsGoToTheChosenWindow) {
  auto key = showKeyWindow({375, 667});
  auto front = fullWindow();
  key->setOpaque(false);
  TolbaMsg::showMessage(std::string("账号或密码错误"));
  ASSERT_EQ(front->subviews().size(), 1u);
  auto label = labelOf(*front->subviews()[0]);
  ASSERT_TRUE(label);
  EXPECT_EQ(label->text(), "账号或密码错误");
  EXPECT_EQ(key->subviews().size(), 1u);  // only its root view
  advance(2.3);
  EXPECT_TRUE(front->subviews().empty());
}

}  // namespace
}  // namespace tolba
