#include "tolba/platform/serial_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

namespace tolba::platform {
namespace {

TEST(SerialQueueTest, AQueueNeverUsedStartsNoThread) {
  const auto before = SerialQueue::workersStarted();
  {
    SerialQueue idle("idle");
    EXPECT_FALSE(idle.hasWorker());
    idle.sync();  // nothing queued: returns at once
  }
  EXPECT_EQ(SerialQueue::workersStarted(), before);
  SerialQueue used("used");
  used.async([] {});
  used.sync();
  EXPECT_TRUE(used.hasWorker());
  EXPECT_EQ(SerialQueue::workersStarted(), before + 1);
}

// The queue's last owner is one of its own tasks. The tasks queued behind it
// still run, and nothing touches the freed queue (the address sanitizer build
// proves the second half).
TEST(SerialQueueTest, DestroyedByItsOwnTaskItFinishesWhatWasQueued) {
  for (int round = 0; round < 50; ++round) {
    auto queue = std::make_shared<SerialQueue>("self-destroying");
    std::promise<void> gate;
    std::promise<int> done;
    auto ran = std::make_shared<std::atomic<int>>(0);
    SerialQueue* raw = queue.get();
    raw->async([ran, opened = gate.get_future().share()] {
      opened.wait();
      ++*ran;
    });
    raw->async([owner = std::move(queue), ran]() mutable {
      EXPECT_TRUE(owner->isCurrent());
      owner.reset();  // ~SerialQueue on its own worker thread
      ++*ran;
    });
    raw->async([ran, &done] { done.set_value(++*ran); });  // queued before the queue died
    gate.set_value();
    EXPECT_EQ(done.get_future().get(), 3);
  }
}

TEST(SerialQueueTest, DestroyedFromAnotherThreadItRunsWhatIsQueuedFirst) {
  std::atomic<int> ran{0};
  {
    SerialQueue queue("busy");
    for (int i = 0; i < 100; ++i) queue.async([&] { ++ran; });
    std::thread([&] { queue.async([&] { ++ran; }); }).join();
  }
  EXPECT_EQ(ran.load(), 101);
}

}  // namespace
}  // namespace tolba::platform
