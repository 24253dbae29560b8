#include "tolba/platform/serial_queue.h"

namespace tolba::platform {
namespace {
thread_local const SerialQueue* currentQueue = nullptr;
}

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)), worker_([this] { work(); }) {}

SerialQueue::~SerialQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  cv_.notify_all();
  if (worker_.joinable()) {
    if (worker_.get_id() == std::this_thread::get_id()) {
      worker_.detach();  // destroyed by its own task: let the thread finish by itself
    } else {
      worker_.join();
    }
  }
}

void SerialQueue::async(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  cv_.notify_one();
}

void SerialQueue::sync() {
  if (isCurrent()) return;
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return tasks_.empty() && !busy_; });
}

bool SerialQueue::isCurrent() const { return currentQueue == this; }

void SerialQueue::work() {
  currentQueue = this;
  std::unique_lock lock(mutex_);
  for (;;) {
    cv_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
    if (tasks_.empty()) {
      if (stopping_) break;
      continue;
    }
    auto task = std::move(tasks_.front());
    tasks_.pop_front();
    busy_ = true;
    lock.unlock();
    if (task) task();
    task = nullptr;
    lock.lock();
    busy_ = false;
    if (tasks_.empty()) idle_.notify_all();
  }
  idle_.notify_all();
}

}  // namespace tolba::platform
