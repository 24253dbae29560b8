#pragma once
// A serial queue backed by one worker thread: tasks run one at a time, in the
// order they were queued, off the caller's thread. The worker starts with the
// first task, so a queue that is never used costs no thread.
//
// A queue may be destroyed from any thread, one of its own tasks included: the
// worker keeps the queue's state alive until it has run what was queued.

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace tolba::platform {

class SerialQueue {
 public:
  explicit SerialQueue(std::string label);
  // Runs what is queued, then stops the worker. From another thread it waits
  // for that; from one of the queue's own tasks it returns at once and the
  // worker finishes by itself.
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  void async(std::function<void()> task);
  // Blocks until every task queued before this call has run. Not for the main
  // thread's frame path; used at shutdown and by tests.
  void sync();
  const std::string& label() const { return label_; }
  bool isCurrent() const;
  // Whether the worker thread has been started.
  bool hasWorker() const;

  // Worker threads started by all queues of the process so far.
  static std::size_t workersStarted();

 private:
  struct State;
  std::string label_;
  std::shared_ptr<State> state_;
};

}  // namespace tolba::platform
