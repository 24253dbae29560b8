#include "tolba/platform/notification_center.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/test_access.h"

namespace tolba::platform {

struct NotificationCenter::State {
  struct Entry {
    ObserverToken token;
    std::string name;
    const void* object;
    std::shared_ptr<const Callback> callback;
  };
  mutable std::mutex mutex;
  std::vector<Entry> entries;
  ObserverToken next = 1;
};

NotificationCenter::NotificationCenter() : state_(std::make_unique<State>()) {}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter* center = new NotificationCenter();  // lives as long as the process
  return *center;
}

ObserverToken NotificationCenter::addObserver(std::string name, const void* object, Callback callback) {
  std::lock_guard lock(state_->mutex);
  const ObserverToken token = state_->next++;
  state_->entries.push_back(
      State::Entry{token, std::move(name), object, std::make_shared<const Callback>(std::move(callback))});
  return token;
}

void NotificationCenter::removeObserver(ObserverToken token) {
  std::lock_guard lock(state_->mutex);
  std::erase_if(state_->entries, [token](const State::Entry& e) { return e.token == token; });
}

void NotificationCenter::post(const std::string& name, const void* object, nlohmann::json userInfo) {
  const Notification note{name, object, std::move(userInfo)};
  std::vector<std::pair<ObserverToken, std::shared_ptr<const Callback>>> targets;
  {
    std::lock_guard lock(state_->mutex);
    for (const auto& e : state_->entries) {
      if (e.name == name && (e.object == nullptr || e.object == object)) targets.emplace_back(e.token, e.callback);
    }
  }
  for (const auto& [token, callback] : targets) {
    // Skip observers removed by an earlier observer of this same post.
    bool stillThere = false;
    {
      std::lock_guard lock(state_->mutex);
      stillThere = std::any_of(state_->entries.begin(), state_->entries.end(),
                               [t = token](const State::Entry& e) { return e.token == t; });
    }
    if (stillThere && *callback) (*callback)(note);
  }
}

std::size_t NotificationCenter::observerCount(const std::string& name) const {
  std::lock_guard lock(state_->mutex);
  return static_cast<std::size_t>(std::count_if(state_->entries.begin(), state_->entries.end(),
                                                [&](const State::Entry& e) { return e.name == name; }));
}

void PlatformTestAccess::removeAll(NotificationCenter& center) {
  std::vector<NotificationCenter::State::Entry> dropped;
  {
    std::lock_guard lock(center.state_->mutex);
    dropped.swap(center.state_->entries);
  }
}

ScopedObserver& ScopedObserver::operator=(ScopedObserver&& other) noexcept {
  if (this != &other) {
    reset();
    center_ = other.center_;
    token_ = other.token_;
    other.center_ = nullptr;
    other.token_ = 0;
  }
  return *this;
}

void ScopedObserver::reset() {
  if (center_) center_->removeObserver(token_);
  center_ = nullptr;
  token_ = 0;
}

}  // namespace tolba::platform
