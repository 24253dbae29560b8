#include "tolba/platform/notification_center.h"

#include <gtest/gtest.h>

#include <vector>

namespace tolba::platform {
namespace {

TEST(NotificationCenterTest, DeliversByNameAndObjectWithUserInfo) {
  NotificationCenter center;
  int any = 0, mine = 0;
  const int me = 0, other = 0;
  nlohmann::json seen;
  center.addObserver("n", nullptr, [&](const Notification& n) {
    ++any;
    seen = n.userInfo;
  });
  center.addObserver("n", &me, [&](const Notification&) { ++mine; });
  center.addObserver("m", nullptr, [&](const Notification&) { FAIL() << "wrong name"; });
  center.post("n", &other, {{"error", 0}});
  center.post("n", &me);
  EXPECT_EQ(any, 2);
  EXPECT_EQ(mine, 1);
  EXPECT_TRUE(seen.is_null());
}

TEST(NotificationCenterTest, ObserversMayRemoveAndAddDuringDelivery) {
  NotificationCenter center;
  std::vector<std::string> calls;
  ObserverToken second = 0;
  center.addObserver("n", nullptr, [&](const Notification&) {
    calls.push_back("first");
    center.removeObserver(second);  // removed before its turn: not called
    center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back("added"); });
  });
  second = center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back("second"); });
  center.post("n");
  EXPECT_EQ(calls, (std::vector<std::string>{"first"}));
  calls.clear();
  center.post("n");
  EXPECT_EQ(calls[0], "first");
  EXPECT_EQ(calls[1], "added");
}

TEST(NotificationCenterTest, ScopedObserverRemovesItselfWhenDestroyed) {
  NotificationCenter center;
  int calls = 0;
  {
    ScopedObserver scoped(center, center.addObserver("n", nullptr, [&](const Notification&) { ++calls; }));
    center.post("n");
    ScopedObserver moved = std::move(scoped);
    EXPECT_FALSE(scoped.active());
    center.post("n");
  }
  center.post("n");
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(center.observerCount("n"), 0u);
}

}  // namespace
}  // namespace tolba::platform
