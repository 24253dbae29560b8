#include "connection_guard.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <thread>
#include <vector>

#include "tolba/platform/log.h"

namespace tolba::sandbox {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int64_t kNoDeadline = std::numeric_limits<std::int64_t>::max();
// Waits are cut into slices this long, so that a stopping server is noticed.
constexpr std::int64_t kSliceMs = 100;
constexpr std::size_t kReadBuffer = 4096;
constexpr char kBusyReply[] =
    "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nRetry-After: 1\r\nContent-Length: 0\r\n\r\n";

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

// The numeric address and port of a socket's peer (or its own end).
bool addressOf(int sock, bool peer, std::string& ip, int& port) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  auto* raw = reinterpret_cast<sockaddr*>(&address);
  if ((peer ? ::getpeername(sock, raw, &length) : ::getsockname(sock, raw, &length)) != 0) return false;
  char text[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    port = ntohs(v4->sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    port = ntohs(v6->sin6_port);
  } else {
    return false;
  }
  ip = text;
  return true;
}

// Set while the accept thread runs a connection the queue has no room for.
thread_local bool tOverflow = false;

}  // namespace

// A connection's stream for the library: buffered reads, and every wait cut
// short by its time-out, the request's deadline or the server stopping.
class ConnectionGuard::Stream : public httplib::Stream {
 public:
  Stream(int sock, const Limits& limits, const std::atomic<bool>& stopping)
      : sock_(sock), limits_(limits), stopping_(stopping) {}

  bool is_readable() const override { return start_ < end_ || wait(POLLIN, limits_.readTimeout.count()); }
  bool is_writable() const override { return wait(POLLOUT, limits_.writeTimeout.count()); }

  ssize_t read(char* ptr, size_t size) override {
    if (start_ < end_) {
      const std::size_t n = std::min(size, end_ - start_);
      std::memcpy(ptr, buffer_ + start_, n);
      start_ += n;
      return static_cast<ssize_t>(n);
    }
    if (!is_readable()) return -1;
    if (size >= kReadBuffer) return receive(ptr, size);
    const ssize_t got = receive(buffer_, kReadBuffer);
    if (got <= 0) return got;
    const std::size_t n = std::min(size, static_cast<std::size_t>(got));
    std::memcpy(ptr, buffer_, n);
    start_ = n;
    end_ = static_cast<std::size_t>(got);
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (!is_writable()) return -1;
    for (;;) {
      const ssize_t n = ::send(sock_, ptr, size, MSG_NOSIGNAL);
      if (n >= 0 || errno != EINTR) return n;
    }
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { addressOf(sock_, true, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { addressOf(sock_, false, ip, port); }
  socket_t socket() const override { return sock_; }

  // A new request has begun to arrive.
  void arm() { deadlineMs_ = nowMs() + limits_.requestTime.count(); }
  void lift() { deadlineMs_ = kNoDeadline; }
  bool missedDeadline() const { return missed_; }

  // Waits for the next request, up to the keep-alive time; false when none
  // comes, or the server stops.
  bool waitForRequest(const std::atomic<int>& listening) const {
    if (start_ < end_) return true;
    const std::int64_t until = nowMs() + limits_.keepAlive.count();
    for (;;) {
      if (stopping_ || listening == INVALID_SOCKET) return false;
      const std::int64_t left = until - nowMs();
      if (left <= 0) return false;
      pollfd p{sock_, POLLIN, 0};
      const int r = ::poll(&p, 1, static_cast<int>(std::min(left, kSliceMs)));
      if (r > 0) return true;
      if (r < 0 && errno != EINTR) return false;
    }
  }

 private:
  ssize_t receive(char* into, std::size_t size) {
    for (;;) {
      const ssize_t n = ::recv(sock_, into, size, 0);
      if (n >= 0 || errno != EINTR) return n;
    }
  }

  bool wait(short events, std::int64_t timeoutMs) const {
    const std::int64_t now = nowMs();
    const std::int64_t deadline = deadlineMs_;
    const std::int64_t until = deadline - now < timeoutMs ? deadline : now + timeoutMs;
    for (;;) {
      // Reading stops with the server; a reply being written still goes out.
      if (events == POLLIN && stopping_) return false;
      const std::int64_t left = until - nowMs();
      if (left <= 0) {
        if (until == deadline) missed_ = true;
        return false;
      }
      pollfd p{sock_, events, 0};
      const int r = ::poll(&p, 1, static_cast<int>(std::min(left, kSliceMs)));
      if (r > 0) return true;
      if (r < 0 && errno != EINTR) return false;
    }
  }

  const int sock_;
  const Limits& limits_;
  const std::atomic<bool>& stopping_;
  std::int64_t deadlineMs_ = kNoDeadline;
  mutable bool missed_ = false;
  char buffer_[kReadBuffer];
  std::size_t start_ = 0;
  std::size_t end_ = 0;
};

namespace {
thread_local ConnectionGuard::Stream* tStream = nullptr;
}  // namespace

// A fixed pool of workers with a bounded queue. A connection that finds the
// bound reached is run on the accept thread, where serve() refuses it at once.
class ConnectionGuard::Pool : public httplib::TaskQueue {
 public:
  Pool(ConnectionGuard& guard, int threads) : guard_(guard) {
    for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
  }
  ~Pool() override { shutdown(); }

  void enqueue(std::function<void()> fn) override {
    if (guard_.open_.fetch_add(1) >= guard_.limits_.maxConnections) {
      tOverflow = true;
      fn();
      tOverflow = false;
      return;
    }
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(fn));
    }
    ready_.notify_one();
  }

  void shutdown() override {
    {
      std::lock_guard lock(mutex_);
      if (done_) return;
      done_ = true;
    }
    ready_.notify_all();
    for (auto& t : workers_) t.join();
  }

 private:
  void work() {
    for (;;) {
      std::function<void()> fn;
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return done_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        fn = std::move(jobs_.front());
        jobs_.pop_front();
      }
      fn();
    }
  }

  ConnectionGuard& guard_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> workers_;
  bool done_ = false;
};

httplib::TaskQueue* ConnectionGuard::newTaskQueue(int threads) { return new Pool(*this, threads); }

void ConnectionGuard::refuse(int sock, const std::string& why) {
  // The client may not be reading: never wait for it.
  [[maybe_unused]] const auto sent = ::send(sock, kBusyReply, sizeof kBusyReply - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  // Under a flood, at most one line a second says how many were refused.
  const int refused = refusedSinceLog_.fetch_add(1) + 1;
  const std::int64_t now = nowMs();
  std::int64_t last = lastRefusalLogMs_.load();
  if (limits_.log && now - last >= 1000 && lastRefusalLogMs_.compare_exchange_strong(last, now)) {
    refusedSinceLog_.fetch_sub(refused);
    platform::log("[sandbox] refused " + std::to_string(refused) + " connection(s): " + why);
  }
}

bool ConnectionGuard::serve(int sock, const ProcessRequest& process, const std::atomic<int>& listening) {
  struct Done {
    std::atomic<int>& open;
    ~Done() { open.fetch_sub(1); }
  } done{open_};
  if (tOverflow) {
    refuse(sock, "more than " + std::to_string(limits_.maxConnections) + " connections open");
    return false;
  }
  std::string address = "?";
  int port = 0;
  addressOf(sock, true, address, port);
  {
    std::lock_guard lock(mutex_);
    int& count = perAddress_[address];
    if (count >= limits_.maxPerAddress || stopping_) {
      if (count == 0) perAddress_.erase(address);
      address = stopping_ ? std::string("the server is stopping")
                          : "more than " + std::to_string(limits_.maxPerAddress) + " connections from " + address;
      refuse(sock, address);
      return false;
    }
    ++count;
  }
  ++served_;
  Stream stream(sock, limits_, stopping_);
  tStream = &stream;
  bool result = false;
  for (int left = std::max(limits_.keepAliveMaxCount, 1); left > 0; --left) {
    if (!stream.waitForRequest(listening)) break;
    stream.arm();
    bool closed = false;
    result = process(stream, left == 1, closed);
    if (!result || closed) break;
  }
  tStream = nullptr;
  if (stream.missedDeadline() && limits_.log) {
    platform::log("[sandbox] closed a connection from " + address + ": no complete request within " +
                  std::to_string(limits_.requestTime.count()) + " ms");
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  --served_;
  {
    std::lock_guard lock(mutex_);
    if (--perAddress_[address] <= 0) perAddress_.erase(address);
  }
  return result;
}

void ConnectionGuard::waitingOnPurpose() {
  if (tStream) tStream->lift();
}

}  // namespace tolba::sandbox
