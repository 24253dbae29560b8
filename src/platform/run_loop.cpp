#include "tolba/platform/run_loop.h"

#include <cxxabi.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

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
}  // namespace

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

RunLoop::RunLoop(std::shared_ptr<Clock> clock) : clock_(std::move(clock)) {}

RunLoop::~RunLoop() = default;

RunLoop& RunLoop::main() {
  static RunLoop* loop = new RunLoop();  // never destroyed: see header
  return *loop;
}

void RunLoop::post(std::function<void()> fn, const char* label) {
  bool first = false;
  {
    std::lock_guard lock(mutex_);
    first = posted_.empty();
    posted_.push_back(Task{std::move(fn), label});
  }
  // A waiting loop sleeps only while nothing is posted: the first post since
  // then is the one that must wake it.
  if (first) wake_.notify_all();
}

std::shared_ptr<Timer> RunLoop::scheduleTimer(Duration interval, bool repeats, std::function<void(Timer&)> action,
                                              const char* label) {
  std::shared_ptr<Timer> timer(new Timer(interval, repeats, std::move(action), label));
  {
    std::lock_guard lock(mutex_);
    timer->due_ = clock_->now() + timer->interval_;
    timer->sequence_ = ++sequence_;
    timers_.push_back(timer);
  }
  wake_.notify_all();
  return timer;
}

void RunLoop::performAfter(const void* target, std::string selector, Duration delay, std::function<void()> fn) {
  {
    std::lock_guard lock(mutex_);
    delayed_.push_back(Delayed{target, std::move(selector), clock_->now() + delay, ++sequence_, std::move(fn)});
  }
  wake_.notify_all();
}

void RunLoop::cancelPerform(const void* target, const std::optional<std::string>& selector) {
  std::lock_guard lock(mutex_);
  std::erase_if(delayed_, [&](const Delayed& d) { return d.target == target && (!selector || d.selector == *selector); });
}

void RunLoop::markThread() {
  std::lock_guard lock(mutex_);
  thread_ = std::this_thread::get_id();
}

bool RunLoop::isLoopThread() const {
  std::lock_guard lock(mutex_);
  return thread_ == std::this_thread::get_id();
}

std::size_t RunLoop::pendingTimers() const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(timers_.begin(), timers_.end(), [](const auto& t) { return t->isValid(); }));
}

std::optional<TimePoint> RunLoop::nextDue() const {
  std::optional<TimePoint> best;
  for (const auto& t : timers_) {
    if (t->isValid() && (!best || t->due_ < *best)) best = t->due_;
  }
  for (const auto& d : delayed_) {
    if (!best || d.due < *best) best = d.due;
  }
  return best;
}

void RunLoop::setStatsEnabled(bool on) {
  stats_ = StatsState{};
  statsOn_.store(on);
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
  out.ticks = stats_.tickMs.size();
  out.maxTickMs = largest(stats_.tickMs);
  out.p99TickMs = percentile99(stats_.tickMs);
  out.maxTickCpuMs = largest(stats_.tickCpuMs);
  out.p99TickCpuMs = percentile99(stats_.tickCpuMs);
  out.slowest = stats_.slowest;
  out.slowestMs = stats_.slowestMs;
  out.slowestCpuMs = stats_.slowestCpuMs;
  return out;
}

RunLoop::Stamp RunLoop::stamp() {
  timespec cpu{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
  const double cpuMs = static_cast<double>(cpu.tv_sec) * 1e3 + static_cast<double>(cpu.tv_nsec) * 1e-6;
  return Stamp{std::chrono::steady_clock::now(), cpuMs};
}

void RunLoop::noteTask(Stamp& last, const char* label, const std::type_info& type, double& wallMs, double& cpuMs) {
  const Stamp now = stamp();
  const double wall = std::chrono::duration<double, std::milli>(now.wall - last.wall).count();
  const double cpu = now.cpuMs - last.cpuMs;
  wallMs += wall;
  cpuMs += cpu;
  last = now;
  if (wall > stats_.slowestMs) {
    stats_.slowestMs = wall;
    stats_.slowestCpuMs = cpu;
    stats_.slowest = label ? std::string(label) : typeName(type);
    last = stamp();  // naming it is not the next task's time
  }
}

std::size_t RunLoop::runDue() {
  std::size_t ran = 0;
  const bool measure = statsOn_.load(std::memory_order_relaxed);
  Stamp last{};
  double tickMs = 0;  // the sums of the tasks' times
  double tickCpuMs = 0;
  auto note = [&](const char* label, const std::type_info& type) { noteTask(last, label, type, tickMs, tickCpuMs); };
  std::deque<Task> batch;
  TimePoint now;
  {
    std::lock_guard lock(mutex_);
    batch.swap(posted_);
    now = clock_->now();
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
      std::lock_guard lock(mutex_);
      std::erase_if(timers_, [](const auto& t) { return !t->isValid(); });
      TimePoint bestDue = Duration(std::numeric_limits<double>::infinity());
      std::uint64_t bestSeq = std::numeric_limits<std::uint64_t>::max();
      std::size_t bestTimer = timers_.size();
      std::size_t bestDelayed = delayed_.size();
      for (std::size_t i = 0; i < timers_.size(); ++i) {
        const auto& t = timers_[i];
        if (t->due_ <= now && (t->due_ < bestDue || (t->due_ == bestDue && t->sequence_ < bestSeq))) {
          bestDue = t->due_;
          bestSeq = t->sequence_;
          bestTimer = i;
        }
      }
      for (std::size_t i = 0; i < delayed_.size(); ++i) {
        const auto& d = delayed_[i];
        if (d.due <= now && (d.due < bestDue || (d.due == bestDue && d.sequence < bestSeq))) {
          bestDue = d.due;
          bestSeq = d.sequence;
          bestDelayed = i;
          bestTimer = timers_.size();
        }
      }
      if (bestDelayed < delayed_.size()) {
        call = std::move(delayed_[bestDelayed].fn);
        if (measure) selector = std::move(delayed_[bestDelayed].selector);
        delayed_.erase(delayed_.begin() + static_cast<std::ptrdiff_t>(bestDelayed));
      } else if (bestTimer < timers_.size()) {
        timer = timers_[bestTimer];
        if (timer->repeats_) {
          timer->due_ += timer->interval_;
          if (timer->due_ <= now) timer->due_ = now + timer->interval_;
          timer->sequence_ = ++sequence_;
        } else {
          timers_.erase(timers_.begin() + static_cast<std::ptrdiff_t>(bestTimer));
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
    stats_.tickMs.push_back(static_cast<float>(tickMs));
    stats_.tickCpuMs.push_back(static_cast<float>(tickCpuMs));
  }
  return ran;
}

std::size_t RunLoop::tick() {
  markThread();
  return runDue();
}

void RunLoop::drain() {
  markThread();
  for (int round = 0; round < 100000; ++round) {
    std::deque<Task> batch;
    {
      std::lock_guard lock(mutex_);
      if (posted_.empty()) return;
      batch.swap(posted_);
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
  markThread();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::nanoseconds>(timeout);
  for (;;) {
    runDue();
    if (done && done()) return true;
    std::unique_lock lock(mutex_);
    if (!posted_.empty()) continue;
    // `done` may turn on another thread's work that posts nothing here (a
    // counter going to zero after its last post): it is looked at again often.
    auto wakeAt = std::min(deadline, std::chrono::steady_clock::now() + kRecheckEvery);
    if (!clock_->isManual()) {
      if (auto due = nextDue()) {
        const auto in = std::chrono::duration_cast<std::chrono::nanoseconds>(*due - clock_->now());
        wakeAt = std::min(wakeAt, std::chrono::steady_clock::now() + std::max(in, std::chrono::nanoseconds(0)));
      }
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      lock.unlock();
      runDue();
      return done && done();
    }
    wake_.wait_until(lock, wakeAt, [&] { return !posted_.empty(); });
  }
}

void RunLoop::runFor(Duration span) {
  markThread();
  if (!clock_->isManual()) {
    runUntil([] { return false; }, span);
    return;
  }
  auto manual = std::static_pointer_cast<ManualClock>(clock_);
  const TimePoint target = manual->now() + span;
  for (;;) {
    drain();
    runDue();
    std::optional<TimePoint> due;
    {
      std::lock_guard lock(mutex_);
      if (!posted_.empty()) continue;
      due = nextDue();
    }
    if (!due || *due > target) break;
    if (*due > manual->now()) manual->set(*due);
  }
  manual->set(target);
  drain();
  runDue();
}

std::shared_ptr<ManualClock> RunLoop::manualClock() const {
  std::lock_guard lock(mutex_);
  if (!clock_->isManual()) return nullptr;
  return std::static_pointer_cast<ManualClock>(clock_);
}

void RunLoop::setClock(std::shared_ptr<Clock> clock) {
  std::lock_guard lock(mutex_);
  clock_ = std::move(clock);
  timers_.clear();
  delayed_.clear();
}

void RunLoop::reset() {
  std::deque<Task> posted;
  std::vector<std::shared_ptr<Timer>> timers;
  std::vector<Delayed> delayed;
  {
    std::lock_guard lock(mutex_);
    posted.swap(posted_);
    timers.swap(timers_);
    delayed.swap(delayed_);
  }
  for (auto& t : timers) t->invalidate();
  // Destroy the dropped work outside the lock: its captures may post again.
}

}  // namespace tolba::platform
