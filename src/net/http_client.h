#pragma once
// The SDK's HTTP client: POST requests run on one dedicated network thread
// (libcurl's multi interface), however many are in flight. A request's outcome
// is handed to its completion function on that thread; the caller decides where
// to deliver it from there.
//
// The shared client is never destroyed. At process exit it stops: the network
// thread is joined and no completion function runs afterwards; requests still
// in flight are abandoned.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/transport_policy.h"

namespace tolba {

class HttpClient {
 public:
  struct Request {
    std::string url;
    std::vector<std::string> headers;  // "Name: value"
    std::string body;
    // When set, the body is made by this on the network thread just before the
    // request is sent (encoding need not cost the caller's frame).
    std::function<std::string()> makeBody;
  };

  struct Outcome {
    bool ok = false;    // a reply arrived (whatever its status)
    long status = 0;    // HTTP status of the reply
    std::string body;   // reply body
    std::string error;  // what went wrong when !ok
  };
  using Completion = std::function<void(Outcome outcome)>;

  struct Timeouts {
    // Longest wait for the connection to be set up.
    std::chrono::milliseconds connect = platform::transport::kConnectTimeout;
    // A request ends when no byte goes either way for this long.
    std::chrono::milliseconds idle = platform::transport::kIdleTimeout;
  };

  // Largest reply body accepted by default; a longer one ends the request as a
  // failure.
  static constexpr std::size_t kMaxReplyBytes = platform::transport::kMaxReplyBytes;
  // Once a reply has begun, fewer bytes than this within one idle time end the
  // request: an endless trickle ends like a silent server.
  static constexpr std::int64_t kMinBytesPerIdleTime = 1024;

  static HttpClient& shared();

  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Starts a POST; returns at once. `done` runs exactly once on the network
  // thread, unless the client stops first. Any thread.
  void post(Request request, Completion done);

  // Timeouts of requests started from now on (15 s each unless set; tests
  // shorten them). Any thread.
  void setTimeouts(Timeouts timeouts);
  Timeouts timeouts() const;
  // Size bound of replies to requests started from now on. Any thread.
  void setMaxReplyBytes(std::size_t bytes);
  std::size_t maxReplyBytes() const;

  // Requests started whose completion has not yet returned.
  std::size_t inFlight() const { return inFlight_.load(); }

  // Ends the network thread; completions of requests in flight never run.
  void stop();

  // Stands in for the network (fuzzing, offline tools): while set, post() hands
  // each request to `exchange` and its outcome to the completion, both on the
  // calling thread, before post() returns. An empty function restores the
  // network. Any thread.
  using Exchange = std::function<Outcome(const Request& request)>;
  void setExchange(Exchange exchange);

 private:
  struct Transfer;
  void run();
  void startQueued();
  void finish(Transfer* transfer, int code);
  void fail(std::unique_ptr<Transfer> transfer, const char* why);
  static std::size_t collectReply(char* data, std::size_t size, std::size_t count, void* transfer);
  static int watchIdle(void* transfer, std::int64_t, std::int64_t down, std::int64_t, std::int64_t up);

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Transfer>> queued_;
  Timeouts timeouts_;
  std::size_t maxReplyBytes_ = kMaxReplyBytes;
  bool started_ = false;
  std::atomic<bool> stopping_{false};
  std::atomic<std::size_t> inFlight_{0};
  void* multi_ = nullptr;  // CURLM*, created with the thread
  std::thread thread_;
  // Owned by the network thread (and by the destructor once it has stopped).
  std::unordered_map<Transfer*, std::unique_ptr<Transfer>> active_;
  // Easy handles of ended transfers, reset and kept for the next ones (making
  // one per request cost more than the rest of the client's work on loopback).
  std::vector<void*> idleEasy_;
  Exchange exchange_;
};

}  // namespace tolba
