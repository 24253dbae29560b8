#pragma once
// A small HTTP/1.1 server on 127.0.0.1 (ephemeral port) for network tests. It
// records every request (decoding its body with the wire codec, accepting the
// line breaks of long requests) and answers with scripted replies: a scrambled
// JSON body, raw bytes, any status, after a delay, only once released, by
// closing the connection, or with bytes that are not HTTP at all. Pages and
// redirects (with a Location) serve the web view's tests.
//
// Every recorded request also posts an empty task to the main run loop, so a
// test waiting with runUntil() sees the new request at once.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace tolba::testing {

class LoopbackServer {
 public:
  struct Request {
    std::string method;
    std::string target;                          // e.g. "/sdkmini/login/dologin"
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::optional<nlohmann::json> json;  // the body decoded (nullopt when it does not decode)
    std::string path() const { return target.substr(0, target.find('?')); }
  };

  struct Reply {
    enum class Kind {
      Respond,  // an HTTP response with `status` and `body`
      Close,    // close the connection without answering
      Garbage,  // write `body` as it is (not HTTP), then close
    };
    Kind kind = Kind::Respond;
    int status = 200;
    std::string body;
    std::string contentType = "text/html";
    std::vector<std::pair<std::string, std::string>> headers;
    std::chrono::milliseconds delay{0};
    bool held = false;  // wait for release() (or the server's end) before acting

    // A reply in the wire format (unbroken base64, as servers send it).
    static Reply json(const nlohmann::json& value, int status = 200);
    static Reply raw(std::string body, int status = 200);
    static Reply page(std::string html);
    static Reply redirect(int status, const std::string& location);
    static Reply close();
    static Reply garbage(std::string bytes);
    Reply& after(std::chrono::milliseconds wait) {
      delay = wait;
      return *this;
    }
    Reply& untilReleased() {
      held = true;
      return *this;
    }
  };

  using Responder = std::function<Reply(const Request&)>;

  LoopbackServer();
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT", the value for Tolba.plist's "url".
  std::string baseUrl() const;
  std::string url(const std::string& path) const { return baseUrl() + path; }

  // The reply to every request of `path` (the target without its query), ahead
  // of the rest.
  void route(const std::string& path, Reply reply);
  // Replies used in order, one per request; once they run out the responder
  // answers (by default: {"a":1} in the wire format).
  void enqueue(Reply reply);
  void setResponder(Responder responder);

  // Lets every held reply go (including ones not yet received).
  void release();

  // Blocks until `count` requests have arrived or `timeout` passes, without
  // running the main loop; true when they arrived.
  bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  std::vector<Request> requests() const;
  std::size_t requestCount() const;
  std::size_t count(const std::string& path) const;
  // The last request's decoded body (null when none or undecodable).
  nlohmann::json lastJson() const;

 private:
  void acceptLoop();
  void serve(int fd);
  bool waitFor(std::chrono::milliseconds delay, bool held);

  int listenFd_ = -1;
  int wakePipe_[2] = {-1, -1};
  int port_ = 0;
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  bool stopping_ = false;
  bool released_ = false;
  std::map<std::string, Reply> routes_;
  std::deque<Reply> script_;
  Responder responder_;
  std::vector<Request> requests_;
  std::vector<int> openFds_;
  std::size_t workers_ = 0;  // connection threads still running
  std::thread acceptor_;
};

}  // namespace tolba::testing
