#include "tolba/platform/run_loop.h"
#include "platform/test_access.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace tolba::platform {
namespace {

struct RunLoopTest : ::testing::Test {
  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
  RunLoop loop{clock};
};

TEST_F(RunLoopTest, PostedWorkNeverRunsInlineAndKeepsOrder) {
  std::vector<int> order;
  loop.post([&] {
    order.push_back(1);
    loop.post([&] { order.push_back(3); });  // queued behind, runs on a later tick
  });
  loop.post([&] { order.push_back(2); });
  EXPECT_TRUE(order.empty());
  loop.tick();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  loop.tick();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(RunLoopTest, RepeatingTimerFiresOnVirtualTimeUntilInvalidated) {
  int fired = 0;
  auto timer = loop.scheduleTimer(Duration(1.0), true, [&](Timer& t) {
    if (++fired == 3) t.invalidate();
  });
  loop.runFor(Duration(0.999));
  EXPECT_EQ(fired, 0);
  loop.runFor(Duration(0.001));
  EXPECT_EQ(fired, 1);
  loop.runFor(Duration(10));
  EXPECT_EQ(fired, 3);
  EXPECT_FALSE(timer->isValid());
  EXPECT_EQ(loop.pendingTimers(), 0u);
}

TEST_F(RunLoopTest, FireRunsNowAndKeepsTheScheduleOfARepeatingTimer) {
  int fired = 0;
  auto repeating = loop.scheduleTimer(Duration(1.0), true, [&](Timer&) { ++fired; });
  repeating->fire();
  EXPECT_EQ(fired, 1);
  EXPECT_TRUE(repeating->isValid());
  loop.runFor(Duration(1.0));
  EXPECT_EQ(fired, 2);

  int once = 0;
  auto oneShot = loop.scheduleTimer(Duration(5.0), false, [&](Timer&) { ++once; });
  oneShot->fire();
  EXPECT_FALSE(oneShot->isValid());
  loop.runFor(Duration(10));
  EXPECT_EQ(once, 1);
}

TEST_F(RunLoopTest, DelayedCallsCanBeCancelledByTargetAndSelector) {
  int a = 0, b = 0, c = 0;
  const int targetA = 0, targetB = 0;
  loop.performAfter(&targetA, "hide", Duration(2), [&] { ++a; });
  loop.performAfter(&targetA, "show", Duration(2), [&] { ++b; });
  loop.performAfter(&targetB, "hide", Duration(2), [&] { ++c; });
  loop.cancelPerform(&targetA, std::string("hide"));
  loop.runFor(Duration(2));
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(c, 1);

  loop.performAfter(&targetA, "hide", Duration(1), [&] { ++a; });
  loop.performAfter(&targetA, "show", Duration(1), [&] { ++b; });
  loop.cancelPerform(&targetA);
  loop.runFor(Duration(5));
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
}

TEST_F(RunLoopTest, TimersAndDelayedCallsRunInDueOrder) {
  std::vector<std::string> order;
  loop.performAfter(this, "late", Duration(3), [&] { order.push_back("late"); });
  loop.scheduleTimer(Duration(1), false, [&](Timer&) { order.push_back("timer"); });
  loop.performAfter(this, "mid", Duration(2), [&] { order.push_back("mid"); });
  loop.runFor(Duration(3));
  EXPECT_EQ(order, (std::vector<std::string>{"timer", "mid", "late"}));
}

TEST_F(RunLoopTest, RunUntilPicksUpWorkPostedFromOtherThreads) {
  std::atomic<int> done{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      for (int k = 0; k < 100; ++k) loop.post([&] { done.fetch_add(1); });
    });
  }
  EXPECT_TRUE(loop.runUntil([&] { return done.load() == 800; }, Duration(10)));
  for (auto& t : threads) t.join();
  EXPECT_TRUE(loop.isLoopThread());
}

TEST_F(RunLoopTest, RunUntilGivesUpAfterItsTimeout) {
  EXPECT_FALSE(loop.runUntil([] { return false; }, Duration(0.01)));
}

TEST_F(RunLoopTest, ResetDropsPendingWork) {
  int ran = 0;
  loop.post([&] { ++ran; });
  auto timer = loop.scheduleTimer(Duration(1), true, [&](Timer&) { ++ran; });
  PlatformTestAccess::reset(loop);
  loop.runFor(Duration(5));
  EXPECT_EQ(ran, 0);
  EXPECT_FALSE(timer->isValid());
}

TEST_F(RunLoopTest, StatsCountTicksThatRanWorkAndNameTheSlowestTask) {
  const auto named = [&](auto schedule) {
    loop.setStatsEnabled(true);
    schedule();
    loop.tick();
    loop.tick();  // nothing to run: not a tick
    return loop.stats();
  };
  auto stats = named([&] { loop.post([] {}, "a labelled task"); });
  EXPECT_EQ(stats.ticks, 1u);
  EXPECT_EQ(stats.slowest, "a labelled task");
  EXPECT_GE(stats.maxTickMs, stats.p99TickMs);
  stats = named([&] {
    loop.scheduleTimer(
        Duration(1), false, [](Timer&) {}, "a timer");
    clock->advance(Duration(1));
  });
  EXPECT_EQ(stats.slowest, "a timer");
  stats = named([&] { loop.performAfter(this, "aSelector", Duration(0), [] {}); });
  EXPECT_EQ(stats.slowest, "aSelector");
  // Without a label, the type of the function says where it was written.
  stats = named([&] { loop.post([] {}); });
  EXPECT_NE(stats.slowest.find("StatsCountTicksThatRanWorkAndNameTheSlowestTask"), std::string::npos) << stats.slowest;
  loop.setStatsEnabled(false);
  loop.post([] {});
  loop.tick();
  EXPECT_EQ(loop.stats().ticks, 0u);
}

}  // namespace
}  // namespace tolba::platform
