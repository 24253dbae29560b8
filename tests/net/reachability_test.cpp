#include "net/TolbaReachabilityFile.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <thread>

#include "support/sdk_fixture.h"
#include "tolba/platform/device.h"

namespace tolba {
namespace {

namespace rf = platform::reach;
using testing::SdkTest;

// A handle whose flags and callback the test controls.
class ScriptedHandle final : public platform::ReachabilityHandle {
 public:
  struct Shared {
    bool readable = true;
    std::uint32_t flags = 0;
    Callback callback;
    platform::SerialQueue* queue = nullptr;
    int callbackSets = 0;
  };
  explicit ScriptedHandle(std::shared_ptr<Shared> s) : s_(std::move(s)) {}
  bool getFlags(std::uint32_t& flags) override {
    flags = s_->flags;
    return s_->readable;
  }
  bool setCallback(Callback cb) override {
    if (cb) ++s_->callbackSets;
    s_->callback = std::move(cb);
    return true;
  }
  bool setDispatchQueue(platform::SerialQueue* q) override {
    s_->queue = q;
    return true;
  }

 private:
  std::shared_ptr<Shared> s_;
};

struct ReachabilityTest : SdkTest {
  std::shared_ptr<ScriptedHandle::Shared> state = std::make_shared<ScriptedHandle::Shared>();
  std::shared_ptr<TolbaReachabilityFile> monitor =
      std::make_shared<TolbaReachabilityFile>(std::make_unique<ScriptedHandle>(state));
  ReachabilityStatus statusFor(std::uint32_t flags) {
    state->flags = flags;
    return monitor->currentReachabilityStatus();
  }
};

TEST_F(ReachabilityTest, StatusFollowsTheFlagRows) {
  EXPECT_EQ(statusFor(rf::Reachable), ReachabilityWiFi);
  EXPECT_EQ(statusFor(rf::Reachable | rf::TransientConnection | rf::ConnectionRequired), ReachabilityNone);
  EXPECT_EQ(statusFor(rf::Reachable | rf::TransientConnection), ReachabilityWiFi);
  EXPECT_EQ(statusFor(0), ReachabilityNone);
  monitor->setReachableOnWWAN(false);
  EXPECT_EQ(statusFor(rf::Reachable | rf::IsWWAN), ReachabilityNone);
  monitor->setReachableOnWWAN(true);

  auto& device = platform::Device::current();
  device.setSystemVersion("16.0");
  std::optional<std::string> radio;
  device.setRadioAccessTechnologyProvider([&] { return radio; });
  const auto cellular = rf::Reachable | rf::IsWWAN;
  EXPECT_EQ(statusFor(cellular), ReachabilityWWAN2G);  // radio unknown
  radio = "CTRadioAccessTechnologyLTE";
  EXPECT_EQ(statusFor(cellular), ReachabilityWWAN4G);
  radio = "CTRadioAccessTechnologyEdge";
  EXPECT_EQ(statusFor(cellular), ReachabilityWWAN2G);
  radio = "CTRadioAccessTechnologyGPRS";
  EXPECT_EQ(statusFor(cellular), ReachabilityWWAN2G);
  radio = "CTRadioAccessTechnologyWCDMA";
  EXPECT_EQ(statusFor(cellular), ReachabilityWWAN3G);
  device.setSystemVersion("6.1");
  EXPECT_EQ(statusFor(cellular), ReachabilityWWAN2G);
  EXPECT_EQ(monitor->currentReachabilityString(), "Cellular");
  EXPECT_TRUE(monitor->isReachableViaWWAN());
  EXPECT_FALSE(monitor->isReachableViaWiFi());
}

TEST_F(ReachabilityTest, UnreadableFlagsMakeEveryAnswerNegative) {
  state->readable = false;
  state->flags = rf::Reachable | rf::ConnectionRequired | rf::InterventionRequired;
  EXPECT_EQ(monitor->reachabilityFlags(), 0u);
  EXPECT_FALSE(monitor->isReachable());
  EXPECT_FALSE(monitor->isReachableViaWiFi());
  EXPECT_FALSE(monitor->isReachableViaWWAN());
  EXPECT_FALSE(monitor->connectionRequired());
  EXPECT_FALSE(monitor->isInterventionRequired());
  EXPECT_EQ(monitor->currentReachabilityStatus(), ReachabilityNone);
  EXPECT_EQ(monitor->currentReachabilityString(), "No Connection");
}

TEST_F(ReachabilityTest, WatchingRegistersOnceKeepsItselfAliveAndReportsChanges) {
  EXPECT_TRUE(monitor->startNotifier());
  EXPECT_TRUE(monitor->startNotifier());
  EXPECT_EQ(state->callbackSets, 1);
  EXPECT_NE(state->queue, nullptr);

  int flagsCalls = 0, reachable = 0;
  monitor->setReachabilityBlock([&](TolbaReachabilityFile&, std::uint32_t) { ++flagsCalls; });
  monitor->setReachableBlock([&](TolbaReachabilityFile&) { ++reachable; });
  testing::NotificationRecorder rec({kTolbaReachabilityFileChangedNotification});

  std::weak_ptr<TolbaReachabilityFile> weak = monitor;
  monitor.reset();  // watching keeps it alive
  ASSERT_FALSE(weak.expired());

  // A change to unreachable with no unreachable block still reports.
  auto queue = state->queue;
  queue->async([cb = state->callback] { cb(0); });
  queue->async([cb = state->callback] { cb(rf::Reachable); });
  queue->sync();
  EXPECT_EQ(flagsCalls, 2);
  EXPECT_EQ(reachable, 1);
  drain();
  EXPECT_EQ(rec.posted().size(), 2u);

  weak.lock()->stopNotifier();
  EXPECT_TRUE(weak.expired());
  EXPECT_FALSE(state->callback);
}

TEST_F(ReachabilityTest, AMonitorNotOwnedByASharedPtrDoesNotWatchAndDoesNotThrow) {
  TolbaReachabilityFile onStack(std::make_unique<ScriptedHandle>(state));
  EXPECT_FALSE(onStack.startNotifier());
  EXPECT_FALSE(onStack.isWatching());
  EXPECT_EQ(state->callbackSets, 0);
  EXPECT_TRUE(log_->contains("not owned by a std::shared_ptr"));
  state->flags = rf::Reachable;
  EXPECT_EQ(onStack.currentReachabilityStatus(), ReachabilityWiFi);  // polling still works
}

// A task on the monitor's own queue, or its change callback, holds the last
// reference: the monitor, and with it the queue, is destroyed on that queue's
// thread (the address sanitizer build checks that nothing freed is touched).
TEST_F(ReachabilityTest, AMonitorWhoseLastOwnerRunsOnItsQueueDiesCleanly) {
  // Each monitor has a handle state of its own: the last one may still be
  // finishing on its queue's thread while the next starts.
  auto watchedMonitor = [] {
    auto handleState = std::make_shared<ScriptedHandle::Shared>();
    auto m = std::make_shared<TolbaReachabilityFile>(std::make_unique<ScriptedHandle>(handleState));
    EXPECT_TRUE(m->startNotifier());
    return std::make_pair(m, handleState);
  };
  // The last reference may go on the queue's thread, which wakes nothing on the
  // main run loop: poll (running posted work) instead of waiting for a post.
  auto gone = [this](const std::weak_ptr<TolbaReachabilityFile>& target) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!target.expired() && std::chrono::steady_clock::now() < end) {
      drain();
      std::this_thread::yield();
    }
    return target.expired();
  };
  {
    auto [owned, handleState] = watchedMonitor();
    std::weak_ptr<TolbaReachabilityFile> weak = owned;
    auto& queue = owned->reachabilitySerialQueue();
    queue.async([last = std::move(owned)]() mutable {
      last->stopNotifier();
      last.reset();
    });
    EXPECT_TRUE(gone(weak));
  }
  for (int round = 0; round < 20; ++round) {
    auto [watched, handleState] = watchedMonitor();
    watched->setReachabilityBlock([](TolbaReachabilityFile& self, std::uint32_t) { self.stopNotifier(); });
    std::weak_ptr<TolbaReachabilityFile> weak = watched;
    watched.reset();
    handleState->queue->async([cb = handleState->callback] { cb(rf::Reachable); });
    EXPECT_TRUE(gone(weak));
  }
  drain();
}

TEST(LinuxReachabilityTest, RefusesBadNamesAndAnswersWithoutBlocking) {
  auto service = platform::makeLinuxReachabilityService();
  EXPECT_EQ(service->createWithName(""), nullptr);
  EXPECT_EQ(service->createWithName("bad name"), nullptr);
  EXPECT_EQ(service->createWithName(std::string(300, 'a')), nullptr);
  auto loopback = service->createWithName("localhost");
  std::uint32_t flags = 0;
  ASSERT_TRUE(loopback->getFlags(flags));
  EXPECT_TRUE(flags & rf::Reachable);
  auto internet = service->createWithName("www.example.com");
  EXPECT_TRUE(internet->getFlags(flags));  // whatever the routes say, it answers at once
}

}  // namespace
}  // namespace tolba
