#pragma once
// Test fixture that gives each test a clean world (TestEnvironment): a manual
// clock on the main run loop, a fresh bundle and data directory, captured log
// lines, a scripted reachability service, and fresh SDK singletons.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tolba/platform/clock.h"
#include "tolba/platform/log.h"
#include "tolba/platform/notification_center.h"
#include "tolba/platform/reachability.h"
#include "tolba/platform/run_loop.h"

namespace tolba {
class TolbaSDKCore;
}

namespace tolba::testing {

// Collects log lines while alive.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  std::vector<std::string> lines() const;
  bool contains(const std::string& text) const;
  std::size_t count(const std::string& text) const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  platform::LogSink previous_;
};

// A reachability service whose flags the test sets.
class FakeReachabilityService : public platform::ReachabilityService {
 public:
  std::unique_ptr<platform::ReachabilityHandle> createWithName(const std::string& host) override;
  std::unique_ptr<platform::ReachabilityHandle> createWithAddress(const sockaddr* address) override;
  void setFlags(std::uint32_t flags);
  std::uint32_t flags() const;
  int created() const;
  std::vector<std::string> hosts() const;

 private:
  mutable std::mutex mutex_;
  std::uint32_t flags_ = 0;
  int created_ = 0;
  std::vector<std::string> hosts_;
};

// A notification recorded by NotificationRecorder.
struct Posted {
  std::string name;
  nlohmann::json userInfo;
};

// Records the notifications of the given names, in order.
class NotificationRecorder {
 public:
  explicit NotificationRecorder(const std::vector<std::string>& names);
  const std::vector<Posted>& posted() const { return posted_; }
  std::vector<std::string> names() const;
  void clear() { posted_.clear(); }

 private:
  std::vector<Posted> posted_;
  std::vector<platform::ScopedObserver> observers_;
};

// A fresh world for one test, while alive: a data folder of its own (bundle and
// data directories), captured log lines, a manual clock on the main run loop, a
// scripted reachability service (reachable), and every process-wide object of
// the SDK reset (resetProcessState) when it starts and when it ends.
class TestEnvironment {
 public:
  TestEnvironment();
  ~TestEnvironment();
  TestEnvironment(const TestEnvironment&) = delete;
  TestEnvironment& operator=(const TestEnvironment&) = delete;

  std::filesystem::path root;
  std::filesystem::path bundle;
  std::filesystem::path data;
  std::shared_ptr<platform::ManualClock> clock;
  std::shared_ptr<FakeReachabilityService> reach;
  std::unique_ptr<LogCapture> log;
};

class SdkTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes Tolba.plist (XML) into the test's bundle; a string writes raw bytes.
  void writeConfig(const nlohmann::json& contents);
  void writeRawConfig(const std::string& bytes);
  void writeInfoPlist(const nlohmann::json& contents);

  // Points Tolba.plist at `url` (game id 1001), initialises the facade with the
  // network up and runs the init notification; returns the facade.
  std::shared_ptr<TolbaSDKCore> initialisedSdk(const std::string& url);

  // Lets `seconds` of virtual time pass on the main run loop.
  void advance(double seconds);
  // Runs posted work (no time passes).
  void drain();
  // Waits (real time) for posted work until `done` holds.
  bool runUntil(const std::function<bool()>& done, double seconds = 10);

  std::unique_ptr<TestEnvironment> env_;
  // The environment's, for short.
  std::filesystem::path root_;
  std::filesystem::path bundle_;
  std::filesystem::path data_;
  std::shared_ptr<platform::ManualClock> clock_;
  std::shared_ptr<FakeReachabilityService> reach_;
  LogCapture* log_ = nullptr;
};

}  // namespace tolba::testing
