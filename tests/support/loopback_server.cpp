#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

#include "net/TolbaDataFunc.h"
#include "tolba/platform/run_loop.h"

namespace tolba::testing {
namespace {

constexpr std::size_t kMaxRequestBytes = 16u << 20;

void writeAll(int fd, const std::string& data) {
  std::size_t off = 0;
  while (off < data.size()) {
    const ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return;
    off += static_cast<std::size_t>(n);
  }
}

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  const auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// Reads one request from `fd`; false when the peer goes away or sends nonsense.
bool readRequest(int fd, LoopbackServer::Request& out) {
  std::string data;
  char buf[16384];
  std::size_t headerEnd = std::string::npos;
  while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0 || data.size() > kMaxRequestBytes) return false;
    data.append(buf, static_cast<std::size_t>(n));
  }
  const std::string head = data.substr(0, headerEnd);
  std::size_t lineEnd = head.find("\r\n");
  const std::string requestLine = head.substr(0, lineEnd);
  const auto sp1 = requestLine.find(' ');
  const auto sp2 = requestLine.find(' ', sp1 == std::string::npos ? 0 : sp1 + 1);
  if (sp1 == std::string::npos || sp2 == std::string::npos) return false;
  out.method = requestLine.substr(0, sp1);
  out.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
  while (lineEnd != std::string::npos) {
    const auto next = head.find("\r\n", lineEnd + 2);
    const std::string line =
        head.substr(lineEnd + 2, next == std::string::npos ? std::string::npos : next - lineEnd - 2);
    const auto colon = line.find(':');
    if (colon != std::string::npos) out.headers[lower(line.substr(0, colon))] = trim(line.substr(colon + 1));
    lineEnd = next;
  }
  std::size_t length = 0;
  if (const auto it = out.headers.find("content-length"); it != out.headers.end()) {
    length = static_cast<std::size_t>(std::strtoull(it->second.c_str(), nullptr, 10));
  }
  if (length > kMaxRequestBytes) return false;
  out.body = data.substr(headerEnd + 4);
  while (out.body.size() < length) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return false;
    out.body.append(buf, static_cast<std::size_t>(n));
  }
  out.body.resize(length);
  return true;
}

}  // namespace

LoopbackServer::Reply LoopbackServer::Reply::json(const nlohmann::json& value, int status) {
  return raw(TolbaDataFunc::codingReplyJSON(value).value_or(""), status);
}

LoopbackServer::Reply LoopbackServer::Reply::raw(std::string body, int status) {
  Reply r;
  r.status = status;
  r.body = std::move(body);
  return r;
}

LoopbackServer::Reply LoopbackServer::Reply::page(std::string html) {
  Reply r = raw(std::move(html));
  r.contentType = "text/html; charset=utf-8";
  return r;
}

LoopbackServer::Reply LoopbackServer::Reply::redirect(int status, const std::string& location) {
  Reply r = raw("", status);
  r.headers.emplace_back("Location", location);
  return r;
}

LoopbackServer::Reply LoopbackServer::Reply::close() {
  Reply r;
  r.kind = Kind::Close;
  return r;
}

LoopbackServer::Reply LoopbackServer::Reply::garbage(std::string bytes) {
  Reply r;
  r.kind = Kind::Garbage;
  r.body = std::move(bytes);
  return r;
}

LoopbackServer::LoopbackServer() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("loopback server: socket() failed");
  const int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 1024) != 0) {
    ::close(listenFd_);
    throw std::runtime_error("loopback server: cannot listen on 127.0.0.1");
  }
  socklen_t len = sizeof addr;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  if (::pipe2(wakePipe_, O_CLOEXEC) != 0) throw std::runtime_error("loopback server: pipe() failed");
  responder_ = [](const Request&) { return Reply::json({{"a", 1}}); };
  acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (const int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
  }
  cv_.notify_all();
  const char byte = 0;
  (void)!::write(wakePipe_[1], &byte, 1);
  acceptor_.join();
  // Workers are detached (a process may end with some still waiting on a held
  // reply); wait until every one has let go of this object.
  {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return workers_ == 0; });
  }
  ::close(listenFd_);
  ::close(wakePipe_[0]);
  ::close(wakePipe_[1]);
}

std::string LoopbackServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

void LoopbackServer::route(const std::string& path, Reply reply) {
  std::lock_guard lock(mutex_);
  routes_[path] = std::move(reply);
}

void LoopbackServer::enqueue(Reply reply) {
  std::lock_guard lock(mutex_);
  script_.push_back(std::move(reply));
}

void LoopbackServer::setResponder(Responder responder) {
  std::lock_guard lock(mutex_);
  responder_ = std::move(responder);
}

void LoopbackServer::release() {
  {
    std::lock_guard lock(mutex_);
    released_ = true;
  }
  cv_.notify_all();
}

std::vector<LoopbackServer::Request> LoopbackServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool LoopbackServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

std::size_t LoopbackServer::requestCount() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

std::size_t LoopbackServer::count(const std::string& path) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(requests_.begin(), requests_.end(), [&](const Request& r) { return r.path() == path; }));
}

nlohmann::json LoopbackServer::lastJson() const {
  std::lock_guard lock(mutex_);
  if (requests_.empty() || !requests_.back().json) return nullptr;
  return *requests_.back().json;
}

void LoopbackServer::acceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    if (stopping_) {
      ::close(fd);
      return;
    }
    openFds_.push_back(fd);
    ++workers_;
    std::thread([this, fd] { serve(fd); }).detach();
  }
}

bool LoopbackServer::waitFor(std::chrono::milliseconds delay, bool held) {
  std::unique_lock lock(mutex_);
  if (delay.count() > 0) cv_.wait_for(lock, delay, [&] { return stopping_; });
  if (held) cv_.wait(lock, [&] { return stopping_ || released_; });
  return !stopping_;
}

void LoopbackServer::serve(int fd) {
  Request request;
  if (readRequest(fd, request)) {
    request.json = TolbaDataFunc::decodingJSONLenient(request.body);
    Reply reply;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
      if (const auto route = routes_.find(request.path()); route != routes_.end()) {
        reply = route->second;
      } else if (!script_.empty()) {
        reply = std::move(script_.front());
        script_.pop_front();
      } else {
        reply = responder_(request);
      }
    }
    cv_.notify_all();
    platform::postToMain([] {});  // wakes a test waiting in runUntil()
    if (waitFor(reply.delay, reply.held)) {
      switch (reply.kind) {
        case Reply::Kind::Respond: {
          std::string head = "HTTP/1.1 " + std::to_string(reply.status) +
                             " Status\r\nContent-Type: " + reply.contentType +
                             "\r\nContent-Length: " + std::to_string(reply.body.size());
          for (const auto& [name, value] : reply.headers) head += "\r\n" + name + ": " + value;
          writeAll(fd, head + "\r\nConnection: close\r\n\r\n" + reply.body);
          break;
        }
        case Reply::Kind::Garbage: writeAll(fd, reply.body); break;
        case Reply::Kind::Close: break;
      }
    }
  }
  std::lock_guard lock(mutex_);
  ::close(fd);
  std::erase(openFds_, fd);
  --workers_;
  cv_.notify_all();
}

}  // namespace tolba::testing
