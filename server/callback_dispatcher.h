#pragma once
// Sends the outbox's payment callbacks to the games' servers on a thread of its
// own: each pending callback is POSTed until its receiver answers "success",
// with exponential back-off between attempts. Every attempt is recorded in the
// store before the next one is planned, so a server that stops and starts
// again neither loses a callback nor sends a delivered one again.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "sandbox_store.h"

namespace tolba::sandbox {

struct CallbackSettings {
  std::int64_t baseDelayMs = 5000;         // wait after the first failed attempt
  std::int64_t longestDelayMs = 3600'000;  // the back-off stops growing here
  int timeoutSeconds = 10;                 // connect and read time-out of one attempt
};

class CallbackDispatcher {
 public:
  CallbackDispatcher(Store& store, CallbackSettings settings);
  ~CallbackDispatcher();  // stops
  CallbackDispatcher(const CallbackDispatcher&) = delete;
  CallbackDispatcher& operator=(const CallbackDispatcher&) = delete;

  // Pending callbacks left by an earlier run are tried at once.
  void start();
  // Waits for an attempt in progress (bounded by the time-out) and ends.
  void stop();
  // A callback was queued: look at the outbox now.
  void wake();

  // The wait before attempt `attempts + 1`, after `attempts` failures.
  std::int64_t delayAfter(int attempts) const;

 private:
  void run();
  // One POST; "success" or what went wrong.
  std::string attempt(const Callback& callback) const;

  Store& store_;
  const CallbackSettings settings_;
  std::mutex mutex_;
  std::condition_variable signal_;
  bool stopping_ = false;
  bool woken_ = false;
  std::thread thread_;
};

}  // namespace tolba::sandbox
