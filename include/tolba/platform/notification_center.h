#pragma once
// Named broadcast notifications. Posting delivers synchronously on the posting
// thread to every observer registered for the name (and, when the observer gave
// one, the same object). Observers may be added or removed during a delivery: a
// removed observer is not called any more, an added one hears the next post.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tolba/export.h"

namespace tolba::platform {

struct Notification {
  std::string name;
  const void* object = nullptr;
  nlohmann::json userInfo;  // null when the poster gave none
};

using ObserverToken = std::uint64_t;

class TOLBA_API NotificationCenter {
 public:
  using Callback = std::function<void(const Notification&)>;

  static NotificationCenter& defaultCenter();

  NotificationCenter();
  ~NotificationCenter();
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // Observes `name`; with a non-null `object` only posts carrying that object.
  ObserverToken addObserver(std::string name, const void* object, Callback callback);
  void removeObserver(ObserverToken token);

  void post(const std::string& name, const void* object = nullptr, nlohmann::json userInfo = nullptr);

  std::size_t observerCount(const std::string& name) const;

 private:
  friend class PlatformTestAccess;
  struct State;
  std::unique_ptr<State> state_;
};

// Removes its observer when destroyed; a panel holds these so that it hears
// nothing once it is gone.
class TOLBA_API ScopedObserver {
 public:
  ScopedObserver() = default;
  ScopedObserver(NotificationCenter& center, ObserverToken token) : center_(&center), token_(token) {}
  ScopedObserver(ScopedObserver&& other) noexcept { *this = std::move(other); }
  ScopedObserver& operator=(ScopedObserver&& other) noexcept;
  ScopedObserver(const ScopedObserver&) = delete;
  ScopedObserver& operator=(const ScopedObserver&) = delete;
  ~ScopedObserver() { reset(); }
  void reset();
  bool active() const { return center_ != nullptr; }

 private:
  NotificationCenter* center_ = nullptr;
  ObserverToken token_ = 0;
};

}  // namespace tolba::platform
