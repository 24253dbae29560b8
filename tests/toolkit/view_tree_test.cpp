// The view tree: ownership and order of subviews, hit testing, focus,
// controls and pans in a window.
#include <gtest/gtest.h>

#include "support/ui_fixture.h"
#include "tolba/player/player.h"
#include "toolkit/button.h"
#include "toolkit/gesture_recognizer.h"
#include "toolkit/label.h"
#include "toolkit/text_field.h"
#include "toolkit/view.h"

namespace tolba::platform {
namespace {

using player::Player;

class ViewTreeTest : public testing::UiTest {};

TEST_F(ViewTreeTest, SubviewsAreOrderedOwnedAndMovable) {
  auto parent = std::make_shared<View>(Rect{0, 0, 100, 100});
  auto a = std::make_shared<View>();
  auto b = std::make_shared<View>();
  auto c = std::make_shared<View>();
  parent->addSubview(a);
  parent->addSubview(b);
  parent->insertSubview(c, 0);
  ASSERT_EQ(parent->subviews().size(), 3u);
  EXPECT_EQ(parent->subviews()[0], c);
  EXPECT_EQ(parent->subviews()[2], b);

  // An index past the end lands on top; adding again moves rather than copies.
  parent->insertSubview(c, 1008611);
  EXPECT_EQ(parent->subviews().back(), c);
  EXPECT_EQ(parent->subviews().size(), 3u);
  auto other = std::make_shared<View>();
  other->addSubview(a);
  EXPECT_EQ(parent->subviews().size(), 2u);
  EXPECT_EQ(a->superview(), other.get());

  // The superview owns its subviews: removal releases the last owner.
  std::weak_ptr<View> weakB = b;
  b.reset();
  EXPECT_FALSE(weakB.expired());
  weakB.lock()->removeFromSuperview();
  EXPECT_TRUE(weakB.expired());

  // A view cannot become its own ancestor.
  c->addSubview(parent);
  EXPECT_EQ(parent->superview(), nullptr);
}

TEST_F(ViewTreeTest, HitTestingSkipsHiddenTransparentAndInertViews) {
  auto window = showKeyWindow({375, 667});
  auto root = window->rootView();
  auto below = std::make_shared<View>(Rect{0, 0, 100, 100});
  auto above = std::make_shared<View>(Rect{0, 0, 100, 100});
  root->addSubview(below);
  root->addSubview(above);
  EXPECT_EQ(window->hitTest({50, 50}), above.get());

  above->setHidden(true);
  EXPECT_EQ(window->hitTest({50, 50}), below.get());
  above->setHidden(false);
  above->setAlpha(0.01);
  EXPECT_EQ(window->hitTest({50, 50}), below.get());
  above->setAlpha(0.02);
  EXPECT_EQ(window->hitTest({50, 50}), above.get());
  above->setUserInteractionEnabled(false);
  EXPECT_EQ(window->hitTest({50, 50}), below.get());

  // Labels take no touches; a point outside a view misses its subviews too.
  auto label = std::make_shared<Label>(Rect{0, 0, 100, 100});
  below->addSubview(label);
  EXPECT_EQ(window->hitTest({50, 50}), below.get());
  auto outside = std::make_shared<View>(Rect{150, 150, 20, 20});
  below->addSubview(outside);
  EXPECT_EQ(window->hitTest({160, 160}), root.get());
  window->setHidden(true);
  EXPECT_EQ(window->hitTest({50, 50}), nullptr);
}

TEST_F(ViewTreeTest, ButtonFiresOnlyWhenTheTouchIsLiftedInside) {
  auto window = showKeyWindow({375, 667});
  auto button = std::make_shared<Button>(Rect{100, 100, 80, 40});
  window->rootView()->addSubview(button);
  int taps = 0;
  button->addTarget(ControlEvent::TouchUpInside, [&](Control&) { ++taps; });

  EXPECT_TRUE(Player::tap(*button));
  EXPECT_EQ(taps, 1);

  // Down on the button, up outside it: no action.
  window->sendTouch(TouchPhase::Began, {140, 120});
  window->sendTouch(TouchPhase::Moved, {300, 400});
  window->sendTouch(TouchPhase::Ended, {300, 400});
  EXPECT_EQ(taps, 1);
  // A cancelled touch: no action.
  window->sendTouch(TouchPhase::Began, {140, 120});
  window->sendTouch(TouchPhase::Cancelled, {140, 120});
  EXPECT_EQ(taps, 1);

  // Covered by another view: the finger reaches the cover, not the button.
  auto cover = std::make_shared<View>(Rect{0, 0, 375, 667});
  window->rootView()->addSubview(cover);
  EXPECT_FALSE(Player::tap(*button));
  EXPECT_EQ(taps, 1);
}

TEST_F(ViewTreeTest, TextFieldsTakeFocusAndTypedText) {
  auto window = showKeyWindow({375, 667});
  auto panel = std::make_shared<View>(Rect{0, 0, 375, 667});
  window->rootView()->addSubview(panel);
  auto name = std::make_shared<TextField>(Rect{90, 40, 190, 40});
  auto pwd = std::make_shared<TextField>(Rect{60, 90, 220, 40});
  panel->addSubview(name);
  panel->addSubview(pwd);

  // Typing into a field that does not have focus does nothing.
  name->insertText("x");
  EXPECT_EQ(name->text(), "");

  EXPECT_TRUE(Player::type(*name, "玩家a1"));
  EXPECT_EQ(name->text(), "玩家a1");
  EXPECT_TRUE(name->isFirstResponder());
  Player::backspace(*name, 3);  // a whole character, not a byte, each time
  EXPECT_EQ(name->text(), "玩");

  // Focus moves to the other field, and endEditing on an ancestor drops it.
  EXPECT_TRUE(Player::type(*pwd, "secret"));
  EXPECT_FALSE(name->isFirstResponder());
  EXPECT_TRUE(pwd->isFirstResponder());
  EXPECT_TRUE(panel->endEditing(true));
  EXPECT_EQ(TextField::focusedField(), nullptr);

  // A field that leaves the tree gives up focus.
  Player::tap(*pwd);
  pwd->removeFromSuperview();
  EXPECT_EQ(TextField::focusedField(), nullptr);
}

TEST_F(ViewTreeTest, PanTakesTheTouchFromTheViewOnceItMovesFarEnough) {
  auto window = showKeyWindow({375, 667});
  auto host = std::make_shared<View>(Rect{100, 100, 40, 40});
  auto button = std::make_shared<Button>(Rect{0, 0, 40, 40});
  host->addSubview(button);
  window->rootView()->addSubview(host);
  int taps = 0;
  button->addTarget(ControlEvent::TouchUpInside, [&](Control&) { ++taps; });
  std::vector<std::pair<GestureState, Point>> seen;
  auto pan = std::make_shared<PanGestureRecognizer>(
      [&](GestureRecognizer& r) { seen.emplace_back(r.state(), r.locationInView(window.get())); });
  host->addGestureRecognizer(pan);

  // A small wobble is still a tap.
  window->sendTouch(TouchPhase::Began, {120, 120});
  window->sendTouch(TouchPhase::Moved, {124, 123});
  window->sendTouch(TouchPhase::Ended, {124, 123});
  EXPECT_EQ(taps, 1);
  EXPECT_TRUE(seen.empty());

  EXPECT_TRUE(Player::drag(*host, {120, 120}, {200, 300}));
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front().first, GestureState::Began);
  EXPECT_EQ(seen[1].first, GestureState::Changed);
  EXPECT_EQ(seen.back().first, GestureState::Ended);
  EXPECT_EQ(seen.back().second, (Point{200, 300}));
  EXPECT_EQ(taps, 1);  // the button's touch was cancelled
  EXPECT_FALSE(button->isHighlighted());
}

}  // namespace
}  // namespace tolba::platform
