#pragma once
// The main run loop: the one place where the SDK's main-thread work runs.
//
// A game calls RunLoop::main().tick() once per frame; tools and tests call
// runUntil() / runFor(). Work can be posted from any thread and never runs inline.
// Timers and delayed calls are measured on the loop's clock (real or manual).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

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
  Timer(Duration interval, bool repeats, std::function<void(Timer&)> action, const char* label);
  Duration interval_;
  bool repeats_;
  std::function<void(Timer&)> action_;
  std::atomic<bool> valid_{true};
  TimePoint due_{};
  std::uint64_t sequence_ = 0;
  const char* label_ = nullptr;
};

// What the loop's turns cost, gathered while statistics are on (a read of the
// steady clock and of the thread's CPU clock per task). A tick is a turn that
// ran at least one task. Elapsed times count everything, the time the thread
// was not running included; CPU times only the thread's own work.
struct RunLoopStats {
  std::size_t ticks = 0;
  double maxTickMs = 0;
  double p99TickMs = 0;
  double maxTickCpuMs = 0;
  double p99TickCpuMs = 0;
  // The single task that took longest (elapsed), and how long: its label, or
  // the type of its function when it was posted without one.
  std::string slowest;
  double slowestMs = 0;
  double slowestCpuMs = 0;
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
  // `label` names the task in the loop's statistics; it must outlive the task
  // (a string literal or another constant).
  void post(std::function<void()> fn, const char* label = nullptr);

  // Schedules a timer whose first firing is `interval` from now.
  std::shared_ptr<Timer> scheduleTimer(Duration interval, bool repeats, std::function<void(Timer&)> action,
                                       const char* label = nullptr);

  // A delayed call identified by a target and a selector name, so that it can be
  // cancelled before it runs (as `performSelector:withObject:afterDelay:`).
  void performAfter(const void* target, std::string selector, Duration delay, std::function<void()> fn);
  // Cancels pending delayed calls of `target`: all of them, or those of one selector.
  void cancelPerform(const void* target, const std::optional<std::string>& selector = std::nullopt);

  // Runs posted work and everything that is due, without blocking. Returns the
  // number of callbacks run.
  std::size_t tick();

  // Drives the loop until `done()` holds (asked after each turn and every few
  // milliseconds, since it may watch another thread) or `timeout` of real time
  // passes. With a
  // manual clock, timers only fire when the clock is advanced (see runFor).
  bool runUntil(const std::function<bool()>& done, Duration timeout = Duration(10));

  // Lets `span` of loop time pass: with a manual clock, advances it timer by timer
  // and runs each one when due; with the steady clock, runs the loop that long.
  void runFor(Duration span);

  // Drains posted work (including work posted by that work) without moving time.
  void drain();

  Clock& clock() const;
  std::shared_ptr<ManualClock> manualClock() const;
  TimePoint now() const;

  // True on the thread that last drove this loop (tick, runUntil, runFor).
  bool isLoopThread() const;
  // True on the thread that drives the loop, and on any thread before the loop
  // has been driven at all: where main-thread work may run.
  bool mayRunMainThreadWork() const;
  std::size_t pendingTimers() const;

  // Statistics of the ticks run from now on (on) or none (off, the default).
  // Turning them on starts afresh. Read on the loop's thread.
  void setStatsEnabled(bool on);
  bool statsEnabled() const;
  RunLoopStats stats() const;

 private:
  friend class Timer;
  friend class PlatformTestAccess;
  struct State;
  std::size_t runDue();
  std::unique_ptr<State> state_;
};

// Shorthand for RunLoop::main().post(fn, label).
inline void postToMain(std::function<void()> fn, const char* label = nullptr) {
  RunLoop::main().post(std::move(fn), label);
}

}  // namespace tolba::platform
