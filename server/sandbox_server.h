#pragma once
// The sandbox publisher server as an object: tests and the demo start it in
// their own process on a free loopback port; the tolba-sandbox command runs one
// until it is told to stop.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fault_injector.h"
#include "http_exchange.h"
#include "sandbox_options.h"
#include "sandbox_store.h"
#include "server_clock.h"

namespace tolba::sandbox {

class SandboxApi;
class GameServerApi;
class CallbackDispatcher;
class HttpServer;

class SandboxServer {
 public:
  explicit SandboxServer(SandboxOptions options);
  ~SandboxServer();  // stops
  SandboxServer(const SandboxServer&) = delete;
  SandboxServer& operator=(const SandboxServer&) = delete;

  // Opens the database, binds the port and serves on a thread of its own. False
  // with `error` set when any of that fails.
  bool start(std::string* error = nullptr);
  // Ends serving: waits for requests in progress (delayed ones are cut short)
  // and closes the database. Safe to call more than once.
  void stop();
  // Blocks until the server has stopped.
  void wait();

  bool running() const { return running_; }
  // The port being served (the chosen one when started with port 0).
  int port() const { return port_; }
  // "http://127.0.0.1:PORT" (https with TLS): the base URL for Tolba.plist.
  std::string baseUrl() const;
  const SandboxOptions& options() const { return options_; }

  // Faults to play on the next requests, e.g.
  // faults().add({"sdkstandard/login/index", FaultMode::Refuse, 1, 0, "账号已封禁"}).
  FaultInjector& faults() { return faults_; }
  // Valid between start() and stop().
  Store& store() { return *store_; }
  // The server's clock (started at `clockStart` when set); tests may move it.
  ServerClock& clock() { return clock_; }
  // Connections being served now.
  int connectionsServed() const;

  // Adds an account as `tolba-sandbox account add` does; nullopt when the name
  // is taken or the server is not running.
  std::optional<std::int64_t> addAccount(const std::string& name, const std::string& password, Cents coins);
  // Opens the database without serving, so that answer() can be used without a
  // socket (fuzzing). False with `error` set when it cannot be opened.
  bool openWithoutServing(std::string* error = nullptr);
  // Answers one request as the served routes do, without a socket: `method`
  // ("GET", "POST", "DELETE"), `target` (path with its leading "/", then any
  // "?query"), the headers, the body and the client's address. The server must
  // be started or opened. Returns the status and the body of the response.
  struct Answer {
    int status = 0;
    std::string body;
  };
  Answer answer(const std::string& method, const std::string& target,
                const std::vector<std::pair<std::string, std::string>>& headers, const std::string& body,
                const std::string& remoteAddress = "127.0.0.1");
  // Plays the WeChat application handed a "weixin://" address by the payment
  // page: pays the order it names (as the /sandbox/wechat/open endpoint does).
  PayResult openWeChat(const std::string& address);

 private:
  // Every route, for served requests and answer() alike.
  void dispatch(const HttpRequest& req, HttpResponse& res);
  void handleWire(const HttpRequest& req, HttpResponse& res, bool tooLarge);
  void handleWeChatPage(const HttpRequest& req, HttpResponse& res);
  void handleWeChatApp(const HttpRequest& req, HttpResponse& res);
  void handleAdmin(const HttpRequest& req, HttpResponse& res);
  void handleGameServer(const HttpRequest& req, HttpResponse& res);
  // The address the payment pages are handed out under.
  std::string publicBase() const;
  // Writes the request's log line (unless quiet), control characters escaped.
  void logRequest(const std::string& text) const;
  // Sleeps up to `seconds`, less when the server stops.
  void pause(double seconds);

  SandboxOptions options_;
  FaultInjector faults_;
  std::unique_ptr<Store> store_;
  ServerClock clock_;
  std::unique_ptr<SandboxApi> api_;
  std::unique_ptr<GameServerApi> gameServer_;
  std::unique_ptr<CallbackDispatcher> callbacks_;
  std::unique_ptr<HttpServer> http_;
  std::atomic<bool> running_{false};
  int port_ = 0;

  std::mutex stopMutex_;
  std::condition_variable stopSignal_;
  bool stopping_ = false;
  std::mutex lifecycleMutex_;
};

}  // namespace tolba::sandbox
