#include "tolba/platform/serial_queue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace tolba::platform {

// Everything the worker touches. The worker holds it too, so it outlives a
// queue destroyed by one of its own tasks.
struct SerialQueue::State {
  std::mutex mutex;
  std::condition_variable cv;
  std::condition_variable idle;
  std::deque<std::function<void()>> tasks;
  bool stopping = false;
  bool busy = false;
  std::thread worker;

  static void work(std::shared_ptr<State> self);
};

namespace {
thread_local const void* currentState = nullptr;
std::atomic<std::size_t> startedWorkers{0};
}  // namespace

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)), state_(std::make_shared<State>()) {}

SerialQueue::~SerialQueue() {
  std::thread worker;
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    worker = std::move(state_->worker);
  }
  state_->cv.notify_all();
  if (!worker.joinable()) return;
  if (worker.get_id() == std::this_thread::get_id()) {
    // Destroyed by its own task: the worker owns a reference to the state and
    // ends by itself once the queue is empty.
    worker.detach();
  } else {
    worker.join();
  }
}

void SerialQueue::async(std::function<void()> task) {
  // Held here: once queued, the task may run at once and destroy this queue
  // (its owner's last reference may go with it) before the worker is woken.
  const std::shared_ptr<State> state = state_;
  {
    std::lock_guard lock(state->mutex);
    state->tasks.push_back(std::move(task));
    if (!state->worker.joinable() && !state->stopping) {
      state->worker = std::thread(&State::work, state);
      ++startedWorkers;
    }
  }
  state->cv.notify_one();
}

void SerialQueue::sync() {
  if (isCurrent()) return;
  std::unique_lock lock(state_->mutex);
  state_->idle.wait(lock, [this] { return state_->tasks.empty() && !state_->busy; });
}

bool SerialQueue::isCurrent() const { return currentState == state_.get(); }

bool SerialQueue::hasWorker() const {
  std::lock_guard lock(state_->mutex);
  return state_->worker.joinable();
}

std::size_t SerialQueue::workersStarted() { return startedWorkers.load(); }

void SerialQueue::State::work(std::shared_ptr<State> self) {
  currentState = self.get();
  std::unique_lock lock(self->mutex);
  for (;;) {
    self->cv.wait(lock, [&] { return self->stopping || !self->tasks.empty(); });
    if (self->tasks.empty()) {
      if (self->stopping) break;
      continue;
    }
    auto task = std::move(self->tasks.front());
    self->tasks.pop_front();
    self->busy = true;
    lock.unlock();
    if (task) task();
    task = nullptr;
    lock.lock();
    self->busy = false;
    if (self->tasks.empty()) self->idle.notify_all();
  }
  self->idle.notify_all();
  currentState = nullptr;
  // `self` may be the last reference: release it with the lock let go.
  lock.unlock();
}

}  // namespace tolba::platform
