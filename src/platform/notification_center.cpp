#include "tolba/platform/notification_center.h"

#include <algorithm>

namespace tolba::platform {

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter* center = new NotificationCenter();  // lives as long as the process
  return *center;
}

ObserverToken NotificationCenter::addObserver(std::string name, const void* object, Callback callback) {
  std::lock_guard lock(mutex_);
  const ObserverToken token = next_++;
  entries_.push_back(Entry{token, std::move(name), object, std::make_shared<const Callback>(std::move(callback))});
  return token;
}

void NotificationCenter::removeObserver(ObserverToken token) {
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [token](const Entry& e) { return e.token == token; });
}

void NotificationCenter::post(const std::string& name, const void* object, nlohmann::json userInfo) {
  const Notification note{name, object, std::move(userInfo)};
  std::vector<std::pair<ObserverToken, std::shared_ptr<const Callback>>> targets;
  {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_) {
      if (e.name == name && (e.object == nullptr || e.object == object)) targets.emplace_back(e.token, e.callback);
    }
  }
  for (const auto& [token, callback] : targets) {
    // Skip observers removed by an earlier observer of this same post.
    bool stillThere = false;
    {
      std::lock_guard lock(mutex_);
      stillThere = std::any_of(entries_.begin(), entries_.end(), [t = token](const Entry& e) { return e.token == t; });
    }
    if (stillThere && *callback) (*callback)(note);
  }
}

std::size_t NotificationCenter::observerCount(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.name == name; }));
}

void NotificationCenter::removeAll() {
  std::vector<Entry> dropped;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(entries_);
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
