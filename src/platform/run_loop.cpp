#include "tolba/platform/run_loop.h"

#include <cxxabi.h>
#include <time.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
#include <typeinfo>
#include <vector>

#include "platform/main_thread_check.h"
#include "platform/test_access.h"
#include "tolba/platform/log.h"

namespace tolba::platform {
namespace {
// The shortest interval a repeating timer may have, so that a zero interval
// cannot spin the loop.
constexpr double kMinInterval = 1e-4;

// A readable name for a task posted without a label: the type of its function
// (for a lambda, the function it was written in).
std::string typeName(const std::type_info& type) {
  int status = 0;
  char* readable = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string name = status == 0 && readable ? readable : type.name();
  std::free(readable);
  return name;
}

struct Delayed {
  const void* target;
  std::string selector;
  TimePoint due;
  std::uint64_t sequence;
  std::function<void()> fn;
};
struct Task {
  std::function<void()> fn;
  const char* label;
};
// Tick and task times, touched only by the loop's thread.
struct StatsState {
  std::vector<float> tickMs;
  std::vector<float> tickCpuMs;
  double slowestMs = 0;
  double slowestCpuMs = 0;
  std::string slowest;
};
struct Stamp {
  std::chrono::steady_clock::time_point wall;
  double cpuMs;
};

Stamp stamp() {
  timespec cpu{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
  const double cpuMs = static_cast<double>(cpu.tv_sec) * 1e3 + static_cast<double>(cpu.tv_nsec) * 1e-6;
  return Stamp{std::chrono::steady_clock::now(), cpuMs};
}

// Times the task that ended now (since `last`), remembers it when it is the
// slowest, moves `last` on; adds its times to `wallMs` and `cpuMs`.
void noteTask(StatsState& stats, Stamp& last, const char* label, const std::type_info& type, double& wallMs,
              double& cpuMs) {
  const Stamp now = stamp();
  const double wall = std::chrono::duration<double, std::milli>(now.wall - last.wall).count();
  const double cpu = now.cpuMs - last.cpuMs;
  wallMs += wall;
  cpuMs += cpu;
  last = now;
  if (wall > stats.slowestMs) {
    stats.slowestMs = wall;
    stats.slowestCpuMs = cpu;
    stats.slowest = label ? std::string(label) : typeName(type);
    last = stamp();  // naming it is not the next task's time
  }
}
}  // namespace

struct RunLoop::State {
  explicit State(std::shared_ptr<Clock> c) : clock(std::move(c)) {}

  // The next due time of a valid timer or a delayed call (under the lock).
  std::optional<TimePoint> nextDue() const {
    std::optional<TimePoint> best;
    for (const auto& t : timers) {
      if (t->isValid() && (!best || t->due_ < *best)) best = t->due_;
    }
    for (const auto& d : delayed) {
      if (!best || d.due < *best) best = d.due;
    }
    return best;
  }
  void markThread() {
    std::lock_guard lock(mutex);
    thread = std::this_thread::get_id();
  }

  mutable std::mutex mutex;
  std::condition_variable wake;
  std::shared_ptr<Clock> clock;
  std::deque<Task> posted;
  std::vector<std::shared_ptr<Timer>> timers;
  std::vector<Delayed> delayed;
  std::uint64_t sequence = 0;
  std::thread::id thread;
  std::atomic<bool> statsOn{false};
  StatsState stats;
};

Timer::Timer(Duration interval, bool repeats, std::function<void(Timer&)> action, const char* label)
    : interval_(std::max(interval, Duration(kMinInterval))),
      repeats_(repeats),
      action_(std::move(action)),
      label_(label) {}

void Timer::fire() {
  if (!isValid()) return;
  auto self = shared_from_this();  // the action may drop the last other reference
  if (action_) action_(*this);
  if (!repeats_) invalidate();
}

void Timer::invalidate() { valid_.store(false); }

bool Timer::isValid() const { return valid_.load(); }

RunLoop::RunLoop(std::shared_ptr<Clock> clock) : state_(std::make_unique<State>(std::move(clock))) {}

RunLoop::~RunLoop() = default;

RunLoop& RunLoop::main() {
  static RunLoop* loop = new RunLoop();  // never destroyed: see header
  return *loop;
}

void RunLoop::post(std::function<void()> fn, const char* label) {
  bool first = false;
  {
    std::lock_guard lock(state_->mutex);
    first = state_->posted.empty();
    state_->posted.push_back(Task{std::move(fn), label});
  }
  // A waiting loop sleeps only while nothing is posted: the first post since
  // then is the one that must wake it.
  if (first) state_->wake.notify_all();
}

std::shared_ptr<Timer> RunLoop::scheduleTimer(Duration interval, bool repeats, std::function<void(Timer&)> action,
                                              const char* label) {
  std::shared_ptr<Timer> timer(new Timer(interval, repeats, std::move(action), label));
  {
    std::lock_guard lock(state_->mutex);
    timer->due_ = state_->clock->now() + timer->interval_;
    timer->sequence_ = ++state_->sequence;
    state_->timers.push_back(timer);
  }
  state_->wake.notify_all();
  return timer;
}

void RunLoop::performAfter(const void* target, std::string selector, Duration delay, std::function<void()> fn) {
  {
    std::lock_guard lock(state_->mutex);
    state_->delayed.push_back(
        Delayed{target, std::move(selector), state_->clock->now() + delay, ++state_->sequence, std::move(fn)});
  }
  state_->wake.notify_all();
}

void RunLoop::cancelPerform(const void* target, const std::optional<std::string>& selector) {
  std::lock_guard lock(state_->mutex);
  std::erase_if(state_->delayed,
                [&](const Delayed& d) { return d.target == target && (!selector || d.selector == *selector); });
}

bool RunLoop::isLoopThread() const {
  std::lock_guard lock(state_->mutex);
  return state_->thread == std::this_thread::get_id();
}

std::size_t RunLoop::pendingTimers() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<std::size_t>(
      std::count_if(state_->timers.begin(), state_->timers.end(), [](const auto& t) { return t->isValid(); }));
}

void RunLoop::setStatsEnabled(bool on) {
  state_->stats = StatsState{};
  state_->statsOn.store(on);
}

namespace {
// The 99th percentile by the nearest-rank rule (with fewer than 100 values, the largest).
double percentile99(std::vector<float> values) {
  if (values.empty()) return 0;
  const std::size_t rank = (values.size() * 99 + 99) / 100;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(rank - 1), values.end());
  return values[rank - 1];
}
double largest(const std::vector<float>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}
}  // namespace

RunLoopStats RunLoop::stats() const {
  RunLoopStats out;
  out.ticks = state_->stats.tickMs.size();
  out.maxTickMs = largest(state_->stats.tickMs);
  out.p99TickMs = percentile99(state_->stats.tickMs);
  out.maxTickCpuMs = largest(state_->stats.tickCpuMs);
  out.p99TickCpuMs = percentile99(state_->stats.tickCpuMs);
  out.slowest = state_->stats.slowest;
  out.slowestMs = state_->stats.slowestMs;
  out.slowestCpuMs = state_->stats.slowestCpuMs;
  return out;
}

std::size_t RunLoop::runDue() {
  std::size_t ran = 0;
  const bool measure = state_->statsOn.load(std::memory_order_relaxed);
  Stamp last{};
  double tickMs = 0;  // the sums of the tasks' times
  double tickCpuMs = 0;
  auto note = [&](const char* label, const std::type_info& type) {
    noteTask(state_->stats, last, label, type, tickMs, tickCpuMs);
  };
  std::deque<Task> batch;
  TimePoint now;
  {
    std::lock_guard lock(state_->mutex);
    batch.swap(state_->posted);
    now = state_->clock->now();
  }
  if (measure) last = stamp();
  for (auto& task : batch) {
    if (task.fn) task.fn();
    ++ran;
    if (measure) note(task.label, task.fn.target_type());
  }
  // Timers and delayed calls that are due, earliest first, one at a time so that
  // each sees the effects of the one before (an invalidation, a cancellation).
  for (;;) {
    std::shared_ptr<Timer> timer;
    std::function<void()> call;
    std::string selector;
    {
      std::lock_guard lock(state_->mutex);
      std::erase_if(state_->timers, [](const auto& t) { return !t->isValid(); });
      TimePoint bestDue = Duration(std::numeric_limits<double>::infinity());
      std::uint64_t bestSeq = std::numeric_limits<std::uint64_t>::max();
      std::size_t bestTimer = state_->timers.size();
      std::size_t bestDelayed = state_->delayed.size();
      for (std::size_t i = 0; i < state_->timers.size(); ++i) {
        const auto& t = state_->timers[i];
        if (t->due_ <= now && (t->due_ < bestDue || (t->due_ == bestDue && t->sequence_ < bestSeq))) {
          bestDue = t->due_;
          bestSeq = t->sequence_;
          bestTimer = i;
        }
      }
      for (std::size_t i = 0; i < state_->delayed.size(); ++i) {
        const auto& d = state_->delayed[i];
        if (d.due <= now && (d.due < bestDue || (d.due == bestDue && d.sequence < bestSeq))) {
          bestDue = d.due;
          bestSeq = d.sequence;
          bestDelayed = i;
          bestTimer = state_->timers.size();
        }
      }
      if (bestDelayed < state_->delayed.size()) {
        call = std::move(state_->delayed[bestDelayed].fn);
        if (measure) selector = std::move(state_->delayed[bestDelayed].selector);
        state_->delayed.erase(state_->delayed.begin() + static_cast<std::ptrdiff_t>(bestDelayed));
      } else if (bestTimer < state_->timers.size()) {
        timer = state_->timers[bestTimer];
        if (timer->repeats_) {
          timer->due_ += timer->interval_;
          if (timer->due_ <= now) timer->due_ = now + timer->interval_;
          timer->sequence_ = ++state_->sequence;
        } else {
          state_->timers.erase(state_->timers.begin() + static_cast<std::ptrdiff_t>(bestTimer));
        }
      } else {
        break;
      }
    }
    if (timer) {
      timer->fire();
      if (measure) note(timer->label_, timer->action_.target_type());
    } else if (call) {
      call();
      if (measure) note(selector.c_str(), call.target_type());
    }
    ++ran;
  }
  if (measure && ran > 0) {
    state_->stats.tickMs.push_back(static_cast<float>(tickMs));
    state_->stats.tickCpuMs.push_back(static_cast<float>(tickCpuMs));
  }
  return ran;
}

std::size_t RunLoop::tick() {
  state_->markThread();
  return runDue();
}

void RunLoop::drain() {
  state_->markThread();
  for (int round = 0; round < 100000; ++round) {
    std::deque<Task> batch;
    {
      std::lock_guard lock(state_->mutex);
      if (state_->posted.empty()) return;
      batch.swap(state_->posted);
    }
    for (auto& task : batch) {
      if (task.fn) task.fn();
    }
  }
}

namespace {
constexpr auto kRecheckEvery = std::chrono::milliseconds(5);
}  // namespace

bool RunLoop::runUntil(const std::function<bool()>& done, Duration timeout) {
  state_->markThread();
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::nanoseconds>(timeout);
  for (;;) {
    runDue();
    if (done && done()) return true;
    std::unique_lock lock(state_->mutex);
    if (!state_->posted.empty()) continue;
    // `done` may turn on another thread's work that posts nothing here (a
    // counter going to zero after its last post): it is looked at again often.
    auto wakeAt = std::min(deadline, std::chrono::steady_clock::now() + kRecheckEvery);
    if (!state_->clock->isManual()) {
      if (auto due = state_->nextDue()) {
        const auto in = std::chrono::duration_cast<std::chrono::nanoseconds>(*due - state_->clock->now());
        wakeAt = std::min(wakeAt, std::chrono::steady_clock::now() + std::max(in, std::chrono::nanoseconds(0)));
      }
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      lock.unlock();
      runDue();
      return done && done();
    }
    state_->wake.wait_until(lock, wakeAt, [&] { return !state_->posted.empty(); });
  }
}

void RunLoop::runFor(Duration span) {
  state_->markThread();
  if (!state_->clock->isManual()) {
    runUntil([] { return false; }, span);
    return;
  }
  auto manual = std::static_pointer_cast<ManualClock>(state_->clock);
  const TimePoint target = manual->now() + span;
  for (;;) {
    drain();
    runDue();
    std::optional<TimePoint> due;
    {
      std::lock_guard lock(state_->mutex);
      if (!state_->posted.empty()) continue;
      due = state_->nextDue();
    }
    if (!due || *due > target) break;
    if (*due > manual->now()) manual->set(*due);
  }
  manual->set(target);
  drain();
  runDue();
}

std::shared_ptr<ManualClock> RunLoop::manualClock() const {
  std::lock_guard lock(state_->mutex);
  if (!state_->clock->isManual()) return nullptr;
  return std::static_pointer_cast<ManualClock>(state_->clock);
}

void PlatformTestAccess::setClock(RunLoop& loop, std::shared_ptr<Clock> clock) {
  std::lock_guard lock(loop.state_->mutex);
  loop.state_->clock = std::move(clock);
  loop.state_->timers.clear();
  loop.state_->delayed.clear();
}

void PlatformTestAccess::reset(RunLoop& loop) {
  std::deque<Task> posted;
  std::vector<std::shared_ptr<Timer>> timers;
  std::vector<Delayed> delayed;
  {
    std::lock_guard lock(loop.state_->mutex);
    posted.swap(loop.state_->posted);
    timers.swap(loop.state_->timers);
    delayed.swap(loop.state_->delayed);
  }
  for (auto& t : timers) t->invalidate();
  // Destroy the dropped work outside the lock: its captures may post again.
}

Clock& RunLoop::clock() const { return *state_->clock; }

TimePoint RunLoop::now() const { return state_->clock->now(); }

bool RunLoop::statsEnabled() const { return state_->statsOn.load(std::memory_order_relaxed); }

bool RunLoop::mayRunMainThreadWork() const {
  std::lock_guard lock(state_->mutex);
  return state_->thread == std::thread::id() || state_->thread == std::this_thread::get_id();
}

}  // namespace tolba::platform

namespace tolba::platform {

void mainThreadViolation(const char* owner, const char* call) {
  const std::string line = std::string("TolbaLog:") + owner + "::" + call +
                           " was called on a thread that does not drive the main run loop; every call of the SDK "
                           "belongs to the thread that ticks it";
  log(line);
  std::fprintf(stderr, "%s\n", line.c_str());
  std::abort();
}

}  // namespace tolba::platform
