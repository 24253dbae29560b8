#pragma once
// A serial queue backed by one worker thread: tasks run one at a time, in the
// order they were queued, off the caller's thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tolba::platform {

class SerialQueue {
 public:
  explicit SerialQueue(std::string label);
  // Runs what is queued, then stops the worker.
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  void async(std::function<void()> task);
  // Blocks until every task queued before this call has run. Not for the main
  // thread's frame path; used at shutdown and by tests.
  void sync();
  const std::string& label() const { return label_; }
  bool isCurrent() const;

 private:
  void work();
  std::string label_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::condition_variable idle_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  bool busy_ = false;
  std::thread worker_;
};

}  // namespace tolba::platform
