#pragma once
// A small HTTP server on 127.0.0.1 (a free port) for tests: fixed or computed
// replies per path, a record of every request, and a way to hold the replies of
// a path back until the test lets them go (to catch a client mid-load).

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tolba::testing {

class LoopbackHttpServer {
 public:
  struct Request {
    std::string method;
    std::string path;
    std::string query;  // without the "?"
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // Case-insensitive.
    std::optional<std::string> header(const std::string& name) const;
  };
  struct Reply {
    int status = 200;
    std::string body;
    std::string contentType = "text/html; charset=utf-8";
    std::vector<std::pair<std::string, std::string>> headers;

    static Reply page(std::string html) { return {200, std::move(html), "text/html; charset=utf-8", {}}; }
    static Reply redirect(int status, const std::string& location) {
      return {status, "", "text/html; charset=utf-8", {{"Location", location}}};
    }
  };
  using Handler = std::function<Reply(const Request&)>;

  // Starts listening; the server is ready when the constructor returns.
  LoopbackHttpServer();
  // Lets held replies go and stops.
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  // Replies for a path (GET and POST); unknown paths get 404.
  void route(const std::string& path, Handler handler);
  void route(const std::string& path, Reply reply);

  // Requests of `path` wait (on the server's thread) until release().
  void hold(const std::string& path);
  void release();

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string url(const std::string& path = "") const;

  std::vector<Request> requests() const;
  std::size_t count(const std::string& path) const;
  // Waits (real time, at most `seconds`) until `path` has been asked `n` times.
  bool waitForRequests(const std::string& path, std::size_t n, double seconds = 10) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<std::string, Handler> routes_;
  std::set<std::string> held_;
  bool releasing_ = false;
  std::vector<Request> requests_;
};

}  // namespace tolba::testing
