#include "connection_guard.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
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
// A body up to this size is copied after its held headers so that both leave in
// one send; a larger one follows them in a send of its own.
constexpr std::size_t kHeldLimit = 64 * 1024;
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

  // What is held goes out before any wait for the client (it may be waiting
  // for it, as for a "100 Continue").
  bool is_readable() const override {
    return start_ < end_ || (flush() && wait(POLLIN, limits_.readTimeout.count()));
  }
  bool is_writable() const override { return wait(POLLOUT, limits_.writeTimeout.count()); }

  ssize_t read(char* ptr, size_t size) override {
    if (start_ < end_) {
      const std::size_t n = std::min(size, end_ - start_);
      std::memcpy(ptr, buffer_ + start_, n);
      start_ += n;
      return static_cast<ssize_t>(n);
    }
    if (!flush()) return -1;
    // The bytes are usually there already (the wait for the request saw them):
    // try first, wait only when there is nothing to read.
    char* into = size >= kReadBuffer ? ptr : buffer_;
    const std::size_t room = size >= kReadBuffer ? size : kReadBuffer;
    ssize_t got = 0;
    for (;;) {
      got = receive(into, room, MSG_DONTWAIT);
      if (got >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;
      if (!is_readable()) return -1;
    }
    if (into == ptr) return got;
    if (got <= 0) return got;
    const std::size_t n = std::min(size, static_cast<std::size_t>(got));
    std::memcpy(ptr, buffer_, n);
    start_ = n;
    end_ = static_cast<std::size_t>(got);
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    // The library writes a reply's headers and its body separately: the headers
    // are held and leave with the body in one send (or when the request is
    // done, or before the next read).
    if (holdNext_) {
      holdNext_ = false;
      held_.assign(ptr, size);
      return static_cast<ssize_t>(size);
    }
    if (!held_.empty()) {
      if (size <= kHeldLimit) {
        held_.append(ptr, size);
        return flush() ? static_cast<ssize_t>(size) : -1;
      }
      if (!flush()) return -1;
    }
    return sendSome(ptr, size);
  }

  // Sends what is held; false when the connection fails or times out.
  bool flush() const {
    std::size_t sent = 0;
    while (sent < held_.size()) {
      const ssize_t n = sendSome(held_.data() + sent, held_.size() - sent);
      if (n <= 0) {
        held_.clear();
        return false;
      }
      sent += static_cast<std::size_t>(n);
    }
    held_.clear();
    return true;
  }

  // Asked for every request: looked up once per connection.
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    if (!remote_.known) remote_.known = addressOf(sock_, true, remote_.ip, remote_.port);
    ip = remote_.ip;
    port = remote_.port;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    if (!local_.known) local_.known = addressOf(sock_, false, local_.ip, local_.port);
    ip = local_.ip;
    port = local_.port;
  }
  socket_t socket() const override { return sock_; }

  // A new request has begun to arrive.
  void arm() {
    deadlineMs_ = nowMs() + limits_.requestTime.count();
    holdNext_ = true;
  }
  // The request waits on purpose: no deadline, and its reply goes out as it is
  // written (a slow reply's headers are not held back for its body).
  void lift() {
    deadlineMs_ = kNoDeadline;
    holdNext_ = false;
  }
  bool missedDeadline() const { return missed_; }

  // Waits for the next request, up to the keep-alive time, and reads what has
  // come of it; false when none comes, or the server stops. The wait is the
  // read itself (one call per request rather than a poll and then a read),
  // cut into slices by the socket's receive time-out.
  bool waitForRequest(const std::atomic<int>& listening) {
    if (start_ < end_) return true;
    const std::int64_t until = nowMs() + limits_.keepAlive.count();
    for (;;) {
      if (stopping_ || listening == INVALID_SOCKET) return false;
      const std::int64_t left = until - nowMs();
      if (left <= 0 || !receiveTimeout(std::min(left, kSliceMs))) return false;
      const ssize_t got = receive(buffer_, kReadBuffer, 0);
      if (got > 0) {
        start_ = 0;
        end_ = static_cast<std::size_t>(got);
        return true;
      }
      if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
    }
  }

 private:
  // Sets how long a blocking receive waits (only when it changes).
  bool receiveTimeout(std::int64_t ms) {
    if (ms == receiveTimeoutMs_) return true;
    const timeval t{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>(ms % 1000 * 1000)};
    if (::setsockopt(sock_, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t) != 0) return false;
    receiveTimeoutMs_ = ms;
    return true;
  }

  // Waits for room only when the socket has none; never blocks in send (the
  // library writes the rest of a partial write again).
  ssize_t sendSome(const char* ptr, std::size_t size) const {
    for (;;) {
      const ssize_t n = send(ptr, size, MSG_DONTWAIT);
      if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return n;
      if (!is_writable()) return -1;
    }
  }

  ssize_t receive(char* into, std::size_t size, int flags) {
    for (;;) {
      const ssize_t n = ::recv(sock_, into, size, flags);
      if (n >= 0 || errno != EINTR) return n;
    }
  }

  ssize_t send(const char* from, std::size_t size, int flags) const {
    for (;;) {
      const ssize_t n = ::send(sock_, from, size, flags | MSG_NOSIGNAL);
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
  struct Address {
    bool known = false;
    std::string ip;
    int port = 0;
  };
  mutable Address remote_;
  mutable Address local_;
  std::int64_t receiveTimeoutMs_ = 0;  // 0: none set (receives wait for ever)
  // The next write (a reply's headers) is held; what is held now.
  bool holdNext_ = false;
  mutable std::string held_;
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
    if (!stream.flush()) result = false;
    // A request cut at its deadline ends the connection (after the library's 400).
    if (!result || closed || stream.missedDeadline()) break;
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
