#include "callback_dispatcher.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>

#include "tolba/platform/log.h"

namespace tolba::sandbox {
namespace {

constexpr int kBatch = 16;
// The outbox is looked at this often even when nobody wakes the dispatcher
// (payments made by another process on the same database).
constexpr auto kLongestSleep = std::chrono::seconds(1);
constexpr std::size_t kShownAnswer = 40;

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::string printable(std::string s) {
  if (s.size() > kShownAnswer) s = s.substr(0, kShownAnswer) + "...";
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return s;
}

}  // namespace

CallbackDispatcher::CallbackDispatcher(Store& store, CallbackSettings settings) : store_(store), settings_(settings) {}

CallbackDispatcher::~CallbackDispatcher() { stop(); }

void CallbackDispatcher::start() {
  if (thread_.joinable()) return;
  store_.rescheduleCallbacks(nowMs());
  {
    std::lock_guard lock(mutex_);
    stopping_ = false;
  }
  thread_ = std::thread([this] { run(); });
}

void CallbackDispatcher::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  signal_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void CallbackDispatcher::wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  signal_.notify_all();
}

std::int64_t CallbackDispatcher::delayAfter(int attempts) const {
  std::int64_t delay = std::max<std::int64_t>(settings_.baseDelayMs, 1);
  for (int i = 1; i < attempts && delay < settings_.longestDelayMs; ++i) delay *= 2;
  return std::min(delay, std::max(settings_.longestDelayMs, settings_.baseDelayMs));
}

void CallbackDispatcher::run() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      woken_ = false;
    }
    const auto due = store_.dueCallbacks(nowMs(), kBatch);
    for (const auto& callback : due) {
      {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
      }
      const std::string outcome = attempt(callback);
      const bool delivered = outcome == "success";
      const std::int64_t at = nowMs();
      const std::int64_t next = delivered ? at : at + delayAfter(callback.attempts + 1);
      if (!store_.recordCallbackAttempt(callback.orderId, at, outcome, delivered, next)) {
        platform::log("[sandbox] callback for order " + callback.orderId + ": the attempt could not be recorded");
      }
      platform::log("[sandbox] callback for order " + callback.orderId + " attempt " +
                    std::to_string(callback.attempts + 1) + ": " + outcome +
                    (delivered ? "" : ", next in " + std::to_string(next - at) + " ms"));
    }
    if (due.size() == static_cast<std::size_t>(kBatch)) continue;
    const auto next = store_.nextCallbackAt();
    std::unique_lock lock(mutex_);
    auto until = std::chrono::system_clock::now() + kLongestSleep;
    if (next) {
      until = std::min(until, std::chrono::system_clock::time_point(std::chrono::milliseconds(*next)));
    }
    signal_.wait_until(lock, until, [this] { return stopping_ || woken_; });
  }
}

std::string CallbackDispatcher::attempt(const Callback& callback) const {
  const auto schemeEnd = callback.url.find("://");
  if (schemeEnd == std::string::npos) return "not an http address";
  const auto pathStart = callback.url.find('/', schemeEnd + 3);
  const std::string origin = callback.url.substr(0, pathStart);
  const std::string path = pathStart == std::string::npos ? "/" : callback.url.substr(pathStart);
  httplib::Client client(origin);
  if (!client.is_valid()) return "not an http address";
  client.set_connection_timeout(settings_.timeoutSeconds, 0);
  client.set_read_timeout(settings_.timeoutSeconds, 0);
  client.set_write_timeout(settings_.timeoutSeconds, 0);
  const auto res = client.Post(path.c_str(), callback.body, "application/x-www-form-urlencoded");
  if (!res) return "no answer (" + httplib::to_string(res.error()) + ")";
  if (res->status != 200) return "HTTP " + std::to_string(res->status);
  const std::string answer = trimmed(res->body);
  if (answer == "success") return "success";
  return "answered \"" + printable(answer) + "\"";
}

}  // namespace tolba::sandbox
