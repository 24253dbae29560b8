#pragma once
// The sandbox's HTTP(S) server: an event-driven server library reads requests
// as their bytes arrive, on a few threads, so that a slow or idle client costs
// a little memory and no thread. Around it this class keeps the bounds a
// public server needs:
//  - connections in all and from one client address (beyond either, a
//    connection is closed at once);
//  - a deadline for each request, counted from the moment its connection
//    opened or its previous reply left: it must arrive whole, and its reply
//    leave, in that time, or the connection is closed (a reply that is slow
//    on purpose lifts it);
//  - header bytes (the library's memory per connection) and header count;
//  - bodies over the limit are read and dropped, then answered 413, or, far
//    over it, refused unread;
//  - a request framed ambiguously (two or invalid Content-Lengths, chunked with
//    a Content-Length) is answered 400 and its connection closed: only a
//    request that arrived whole, framed one way, reaches the handler.
// TLS takes the same bounds.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "http_exchange.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace tolba::sandbox {

struct HttpServerSettings {
  std::string bind = "127.0.0.1";
  int port = 0;  // 0: any free port
  // PEM texts; TLS when both are set.
  std::string tlsCert;
  std::string tlsKey;
  int threads = 4;
  int maxConnections = 4096;
  int maxPerAddress = 16;
  std::chrono::milliseconds requestTime{10000};
  // A connection that sends and reads nothing for this long is closed (between
  // requests, too).
  std::chrono::seconds idleTimeout{5};
  std::size_t bodyLimit = 1024 * 1024;
  // Bytes past the body limit that are read and dropped so that a client still
  // sending reads its 413; beyond that the request is refused unread.
  std::size_t drainLimit = 16 * 1024 * 1024;
  int maxHeaders = 64;
  // The library's memory per connection, which holds the request line and the
  // headers (and the read and write buffers).
  std::size_t connectionMemory = 16 * 1024;
  // Where the server's own lines go (refusals, cut connections); nullptr: none.
  std::function<void(const std::string&)> log;
};

class HttpServer {
 public:
  using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;

  HttpServer(HttpServerSettings settings, Handler handler);
  ~HttpServer();  // stops
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds and starts serving; false with `error` set when it cannot.
  bool start(std::string* error);
  // Ends every connection (replies waiting on purpose are cut short) and
  // returns once no handler runs. Safe to call more than once.
  void stop();

  int port() const { return port_; }
  bool tls() const { return !settings_.tlsCert.empty(); }
  // Connections open now.
  int connections() const;

  // The library's callbacks (public for the C trampolines only).
  struct Connection;
  struct Exchange;
  int onRequest(MHD_Connection* c, const char* url, const char* method, const char* upload, std::size_t* size,
                void** state);
  void onCompleted(MHD_Connection* c, void** state);
  void onConnection(MHD_Connection* c, void** socketState, bool opened);
  long onTrickle(Exchange& exchange, char* buffer, std::size_t max);
  void onLibraryMessage(const std::string& text);

 private:
  int reply(MHD_Connection* c, Exchange& exchange);
  // Answers `why` with `status` and closes the connection.
  int refuse(MHD_Connection* c, Exchange& exchange, int status, const std::string& why);
  void suspendUntil(MHD_Connection* c, std::chrono::steady_clock::time_point due);
  void watch();  // the deadline and wake-up thread
  // Lines of each kind go out a few a second at most (a flood would write one
  // per connection), with a count of those left out.
  enum class LineKind { Library, Refusal, Deadline, Count };
  void log(const std::string& text, LineKind kind) const;

  const HttpServerSettings settings_;
  const Handler handler_;
  MHD_Daemon* daemon_ = nullptr;
  int listenFd_ = -1;
  int port_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::atomic<bool> ending_{false};
  std::map<MHD_Connection*, Connection*> open_;
  std::size_t refused_ = 0;  // in open_, beyond the bound, closing
  std::multimap<std::chrono::steady_clock::time_point, MHD_Connection*> suspended_;
  std::thread watcher_;

  struct LogBudget {
    std::chrono::steady_clock::time_point window{};
    int logged = 0;
    int leftOut = 0;
  };
  mutable std::mutex logMutex_;
  mutable LogBudget logBudgets_[static_cast<std::size_t>(LineKind::Count)];
};

}  // namespace tolba::sandbox
