#include "support/loopback_http_server.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace tolba::testing {
namespace {

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

}  // namespace

struct LoopbackHttpServer::Impl {
  httplib::Server server;
};

std::optional<std::string> LoopbackHttpServer::Request::header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (sameName(key, name)) return value;
  }
  return std::nullopt;
}

LoopbackHttpServer::LoopbackHttpServer() : impl_(std::make_unique<Impl>()) {
  auto handle = [this](const httplib::Request& req, httplib::Response& res) {
    Request request;
    request.method = req.method;
    request.path = req.path;
    if (const auto q = req.target.find('?'); q != std::string::npos) request.query = req.target.substr(q + 1);
    for (const auto& [key, value] : req.headers) {
      if (key == "REMOTE_ADDR" || key == "REMOTE_PORT" || key == "LOCAL_ADDR" || key == "LOCAL_PORT") continue;
      request.headers.emplace_back(key, value);
    }
    request.body = req.body;
    Handler handler;
    {
      std::unique_lock lock(mutex_);
      requests_.push_back(request);
      changed_.notify_all();
      changed_.wait(lock, [&] { return releasing_ || !held_.count(request.path); });
      if (auto it = routes_.find(request.path); it != routes_.end()) handler = it->second;
    }
    Reply reply = handler ? handler(request) : Reply{404, "not found", "text/plain", {}};
    res.status = reply.status;
    for (const auto& [key, value] : reply.headers) res.set_header(key, value);
    res.set_content(reply.body, reply.contentType.c_str());
  };
  impl_->server.Get(".*", handle);
  impl_->server.Post(".*", handle);
  port_ = impl_->server.bind_to_any_port("127.0.0.1");
  thread_ = std::thread([this] { impl_->server.listen_after_bind(); });
  // Connections queue on the bound socket already; wait for the accept loop so
  // that stop() in the destructor finds it running.
  while (!impl_->server.is_running()) std::this_thread::yield();
}

LoopbackHttpServer::~LoopbackHttpServer() {
  {
    std::lock_guard lock(mutex_);
    releasing_ = true;  // nothing is held from now on
  }
  release();
  impl_->server.stop();
  if (thread_.joinable()) thread_.join();
}

void LoopbackHttpServer::route(const std::string& path, Handler handler) {
  std::lock_guard lock(mutex_);
  routes_[path] = std::move(handler);
}

void LoopbackHttpServer::route(const std::string& path, Reply reply) {
  route(path, [reply](const Request&) { return reply; });
}

void LoopbackHttpServer::hold(const std::string& path) {
  std::lock_guard lock(mutex_);
  held_.insert(path);
}

void LoopbackHttpServer::release() {
  std::lock_guard lock(mutex_);
  held_.clear();
  changed_.notify_all();
}

std::string LoopbackHttpServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t LoopbackHttpServer::count(const std::string& path) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(requests_.begin(), requests_.end(), [&](const Request& r) { return r.path == path; }));
}

bool LoopbackHttpServer::waitForRequests(const std::string& path, std::size_t n, double seconds) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] {
    return static_cast<std::size_t>(std::count_if(requests_.begin(), requests_.end(),
                                                  [&](const Request& r) { return r.path == path; })) >= n;
  });
}

}  // namespace tolba::testing
