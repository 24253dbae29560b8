#pragma once
// The main run loop: the one place where the SDK's main-thread work runs.
//
// A game calls RunLoop::main().tick() once per frame; tools and tests call
// runUntil() / runFor(). Work can be posted from any thread and never runs inline.
// Timers and delayed calls are measured on the loop's clock (real or manual).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tolba/export.h"
#include "tolba/platform/clock.h"

namespace tolba::platform {

class RunLoop;

// A timer scheduled on a run loop. The loop keeps a valid timer alive; once
// invalidated (or after a one-shot fires) it is dropped.
class TOLBA_API Timer : public std::enable_shared_from_this<Timer> {
 public:
  // Runs the action now, outside its schedule. A repeating timer keeps its
  // schedule; a one-shot timer is invalidated, as the platform's does.
  void fire();
  void invalidate();
  bool isValid() const;
  Duration interval() const { return interval_; }
  bool repeats() const { return repeats_; }

 private:
  friend class RunLoop;
  Timer(Duration interval, bool repeats, std::function<void(Timer&)> action);
  Duration interval_;
  bool repeats_;
  std::function<void(Timer&)> action_;
  std::atomic<bool> valid_{true};
  TimePoint due_{};
  std::uint64_t sequence_ = 0;
};

class TOLBA_API RunLoop {
 public:
  explicit RunLoop(std::shared_ptr<Clock> clock = std::make_shared<SteadyClock>());
  ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // The process's main run loop. Never destroyed, so work posted while the process
  // exits is dropped rather than run against destroyed objects.
  static RunLoop& main();

  // Queues `fn` to run on the loop's thread during a later tick. Any thread.
  void post(std::function<void()> fn);

  // Schedules a timer whose first firing is `interval` from now.
  std::shared_ptr<Timer> scheduleTimer(Duration interval, bool repeats, std::function<void(Timer&)> action);

  // A delayed call identified by a target and a selector name, so that it can be
  // cancelled before it runs (as `performSelector:withObject:afterDelay:`).
  void performAfter(const void* target, std::string selector, Duration delay, std::function<void()> fn);
  // Cancels pending delayed calls of `target`: all of them, or those of one selector.
  void cancelPerform(const void* target, const std::optional<std::string>& selector = std::nullopt);

  // Runs posted work and everything that is due, without blocking. Returns the
  // number of callbacks run.
  std::size_t tick();

  // Drives the loop until `done()` holds or `timeout` of real time passes. With a
  // manual clock, timers only fire when the clock is advanced (see runFor).
  bool runUntil(const std::function<bool()>& done, Duration timeout = Duration(10));

  // Lets `span` of loop time pass: with a manual clock, advances it timer by timer
  // and runs each one when due; with the steady clock, runs the loop that long.
  void runFor(Duration span);

  // Drains posted work (including work posted by that work) without moving time.
  void drain();

  Clock& clock() const { return *clock_; }
  std::shared_ptr<ManualClock> manualClock() const;
  TimePoint now() const { return clock_->now(); }

  // Replaces the clock (tests install a ManualClock). Pending timers are dropped.
  void setClock(std::shared_ptr<Clock> clock);
  // Drops all pending work and timers (tests call this between cases).
  void reset();

  // True on the thread that last drove this loop (tick, runUntil, runFor).
  bool isLoopThread() const;
  std::size_t pendingTimers() const;

 private:
  friend class Timer;
  struct Delayed {
    const void* target;
    std::string selector;
    TimePoint due;
    std::uint64_t sequence;
    std::function<void()> fn;
  };
  std::optional<TimePoint> nextDue() const;
  std::size_t runDue();
  void markThread();

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::shared_ptr<Clock> clock_;
  std::deque<std::function<void()>> posted_;
  std::vector<std::shared_ptr<Timer>> timers_;
  std::vector<Delayed> delayed_;
  std::uint64_t sequence_ = 0;
  std::thread::id thread_;
};

// Shorthand for RunLoop::main().post(fn).
inline void postToMain(std::function<void()> fn) { RunLoop::main().post(std::move(fn)); }

}  // namespace tolba::platform
