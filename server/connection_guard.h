#pragma once
// Keeps slow or idle clients from starving the server. The HTTP library serves
// each connection on one worker thread; the guard takes over that serving loop
// (the library still parses requests and writes replies) so that it
//  - bounds the connections served or waiting for a worker, and those from one
//    client address: a connection beyond either bound gets 503 and is closed
//    at once, unread;
//  - gives each read and write its time-out, and each request a deadline: it
//    must arrive in full (and its reply leave) within a set time of its first
//    byte, or the connection is closed. A request that waits on purpose (an
//    injected delay) lifts its own deadline;
//  - ends reading on every connection when the server stops, so idle
//    kept-alive connections do not hold the stop up;
//  - sends a reply's headers and body together: one send per reply rather
//    than two (a reply that waits on purpose goes out as it is written).

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace tolba::sandbox {

class ConnectionGuard {
 public:
  struct Limits {
    int maxConnections = 256;
    int maxPerAddress = 16;
    std::chrono::milliseconds requestTime{10000};
    std::chrono::milliseconds readTimeout{5000};
    std::chrono::milliseconds writeTimeout{5000};
    std::chrono::milliseconds keepAlive{5000};  // wait for the next request on a connection
    int keepAliveMaxCount = 1000;               // requests per connection
    bool log = true;
  };

  // Parses one request from the stream and writes its reply (the library's own).
  using ProcessRequest = std::function<bool(httplib::Stream& stream, bool closeConnection, bool& connectionClosed)>;

  explicit ConnectionGuard(Limits limits) : limits_(limits) {}
  ConnectionGuard(const ConnectionGuard&) = delete;
  ConnectionGuard& operator=(const ConnectionGuard&) = delete;

  // The HTTP library's worker pool: `threads` workers and a bounded queue.
  httplib::TaskQueue* newTaskQueue(int threads);

  // Serves the accepted connection `sock` and closes it, or refuses it when a
  // bound is reached. `listening` is the server's socket (invalid once stopped).
  bool serve(int sock, const ProcessRequest& process, const std::atomic<int>& listening);

  // On the worker serving a connection: the request waits on purpose (no
  // deadline until its reply is written, and the reply is not held back).
  static void waitingOnPurpose();

  // Ends reading on every connection (the server is stopping): requests in
  // progress still write their replies, idle connections end at once.
  void endReading() { stopping_ = true; }

  // Connections being served now.
  int served() const { return served_; }

  // A connection's stream as the library reads and writes it.
  class Stream;

 private:
  class Pool;
  void refuse(int sock, const std::string& why);

  const Limits limits_;
  std::mutex mutex_;
  std::map<std::string, int> perAddress_;
  std::atomic<int> open_{0};  // queued or served
  std::atomic<int> served_{0};
  std::atomic<bool> stopping_{false};
  std::atomic<std::int64_t> lastRefusalLogMs_{0};
  std::atomic<int> refusedSinceLog_{0};
};

}  // namespace tolba::sandbox
