#pragma once
// Time source of the main run loop: the steady clock in production, a manual
// clock in tests so that timers can be driven without waiting.

#include <atomic>
#include <chrono>
#include <memory>

#include "tolba/export.h"

namespace tolba::platform {

using Duration = std::chrono::duration<double>;  // seconds
using TimePoint = Duration;                      // seconds since the clock's epoch

class TOLBA_API Clock {
 public:
  virtual ~Clock() = default;
  virtual TimePoint now() const = 0;
  // True when time only moves when someone advances it (a test clock).
  virtual bool isManual() const { return false; }
};

class TOLBA_API SteadyClock final : public Clock {
 public:
  TimePoint now() const override;
};

class TOLBA_API ManualClock final : public Clock {
 public:
  TimePoint now() const override { return Duration(nanos_.load() * 1e-9); }
  bool isManual() const override { return true; }
  void advance(Duration by);
  void set(TimePoint to);

 private:
  std::atomic<long long> nanos_{0};
};

}  // namespace tolba::platform
