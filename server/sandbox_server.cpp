#include "sandbox_server.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <regex>

#include <sys/socket.h>

#include "admin_access.h"
#include "callback_dispatcher.h"
#include "connection_guard.h"
#include "crypto.h"
#include "game_server_api.h"
#include "net/log_masking.h"
#include "payment_callback.h"
#include "reply_encoder.h"
#include "request_log.h"
#include "sandbox_api.h"
#include "secret_file.h"
#include "tolba/platform/log.h"
#include "tolba/platform/value.h"
#include "web_pages.h"

namespace tolba::sandbox {
namespace {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;

constexpr char kReplyType[] = "text/plain; charset=utf-8";
constexpr char kHtmlType[] = "text/html; charset=utf-8";
constexpr char kJsonType[] = "application/json; charset=utf-8";
// Sent for the "garbage" fault: not in the wire format, and not even UTF-8.
constexpr char kGarbage[] = "<html>502 Bad Gateway</html>\xff\xfe\x01x12_zz_y";
// Bytes beyond the body limit that are read and dropped before a 413.
constexpr std::size_t kDrainLimit = 16 * 1024 * 1024;
// The "trickle" fault's time between bytes unless the rule names one.
constexpr double kTrickleSeconds = 0.05;
// The "oversized" fault streams this much filler (unless the client gives up
// first, as it should): past the clients' size bound.
constexpr std::size_t kOversizedBytes = 64u << 20;
// The message of an injected refusal that names none.
constexpr char kInjectedRefusal[] = "服务器拒绝了请求（测试故障）";

// Set by the handlers of this server, which write their own log line; the
// library's logger writes one for requests that never reached them.
thread_local bool tLogged = false;

std::string stripSlashes(const std::string& path) {
  std::size_t i = 0;
  while (i < path.size() && path[i] == '/') ++i;
  return path.substr(i);
}

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}


std::string elapsedText(Clock::time_point start) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f ms", millisecondsSince(start));
  return buffer;
}

bool plainHost(const std::string& host) {
  if (host.empty() || host.size() > 255) return false;
  for (const char c : host) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '-' || c == ':' || c == '[' || c == ']';
    if (!ok) return false;
  }
  return true;
}

void jsonReply(httplib::Response& res, int status, const Json& body) {
  res.status = status;
  res.set_content(platform::dumpCompact(body), kJsonType);
}

std::int64_t wallClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The HTTP library's server with each accepted connection served by the guard.
class GuardedServer : public httplib::Server {
 public:
  explicit GuardedServer(ConnectionGuard& guard) : guard_(guard) {}

 private:
  bool process_and_close_socket(socket_t sock) override {
    return guard_.serve(
        sock,
        [this](httplib::Stream& stream, bool closeConnection, bool& closed) {
          return process_request(stream, closeConnection, closed, nullptr);
        },
        svr_sock_);
  }

  ConnectionGuard& guard_;
};

}  // namespace

SandboxServer::SandboxServer(SandboxOptions options) : options_(std::move(options)) {
  if (options_.clockStart) clock_.startAt(*options_.clockStart);
}

SandboxServer::~SandboxServer() { stop(); }

namespace {

// The secret that signs logins: kept in its owner-only file beside the database
// (created on first start), or a fresh one for an in-memory database.
std::optional<std::string> signingSecret(const SandboxOptions& options, std::string* why) {
  const std::string secretPath = options.secretPath.empty() ? defaultSecretPath(options.dbPath) : options.secretPath;
  if (secretPath.empty()) return randomHex(32);
  return loadOrCreateSecret(secretPath, why);
}

}  // namespace

bool SandboxServer::start(std::string* error) {
  std::lock_guard lifecycle(lifecycleMutex_);
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    http_.reset();
    guard_.reset();
    callbacks_.reset();
    gameServer_.reset();
    api_.reset();
    store_.reset();
    return false;
  };
  if (running_) return fail("the server is already running");
  if (options_.key.size() != 64) return fail("the wire key table must hold 64 characters");
  {
    std::lock_guard lock(stopMutex_);
    stopping_ = false;
  }
  std::string why;
  store_ = Store::open(options_.dbPath, &why);
  if (!store_) return fail(why);
  store_->setClock(clock_);
  auto secret = signingSecret(options_, &why);
  if (!secret) return fail(why);
  api_ = std::make_unique<SandboxApi>(*store_, options_, *secret, clock_);
  gameServer_ = std::make_unique<GameServerApi>(*store_, *api_, clock_);
  callbacks_ = std::make_unique<CallbackDispatcher>(
      *store_, CallbackSettings{options_.callbackBaseDelayMs, options_.callbackLongestDelayMs,
                                options_.callbackTimeoutSeconds});
  store_->setCallbackMaker([](const Order& order, const GameSettings& game) -> std::optional<Callback> {
    return makePaymentCallback(order, game, wallClockMs());
  });
  api_->setPaidHandler([dispatcher = callbacks_.get()] { dispatcher->wake(); });
  ConnectionGuard::Limits limits;
  limits.maxConnections = std::max(options_.maxConnections, 1);
  limits.maxPerAddress = std::max(options_.maxConnectionsPerAddress, 1);
  limits.requestTime = std::chrono::milliseconds(static_cast<std::int64_t>(options_.requestSeconds * 1000));
  limits.keepAlive = std::chrono::seconds(options_.keepAliveSeconds);
  limits.readTimeout = std::chrono::seconds(std::max(options_.readTimeoutSeconds, 1));
  limits.writeTimeout = std::chrono::seconds(std::max(options_.writeTimeoutSeconds, 1));
  limits.log = options_.logRequests;
  guard_ = std::make_unique<ConnectionGuard>(limits);

  if (options_.tlsCert.empty() != options_.tlsKey.empty()) return fail("--tls-cert and --tls-key go together");
  if (!options_.tlsCert.empty()) {
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
    // The library keeps its TLS server's connection handling private: with TLS
    // only the read and write time-outs apply, not the guard's bounds.
    http_ = std::make_unique<httplib::SSLServer>(options_.tlsCert.c_str(), options_.tlsKey.c_str());
#else
    return fail("this build of the HTTP library has no TLS support");
#endif
  } else {
    http_ = std::make_unique<GuardedServer>(*guard_);
  }
  if (!http_->is_valid()) return fail("cannot load the TLS certificate or key");

  const int threads = options_.threads < 2 ? 2 : options_.threads;
  if (options_.tlsCert.empty()) {
    http_->new_task_queue = [threads, guard = guard_.get()] { return guard->newTaskQueue(threads); };
  } else {
    http_->new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<std::size_t>(threads)); };
  }
  // Bodies up to the limit are read; larger ones are read and thrown away up to
  // a bound (so that the client, still sending, gets to read its 413), and
  // beyond that the connection is closed unread.
  http_->set_payload_max_length(options_.bodyLimit + kDrainLimit);
  // Only SO_REUSEADDR: the library's default SO_REUSEPORT would let a second
  // server bind a port that is in use and share its connections.
  int listening = -1;
  http_->set_socket_options([&listening](int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    listening = sock;
  });
  // Streamed replies (and every TLS reply) go out in several writes: without
  // this, Nagle's rule and the peer's delayed ACK hold such a keep-alive reply
  // for ~40 ms.
  http_->set_tcp_nodelay(true);
  http_->set_keep_alive_max_count(1000);
  http_->set_keep_alive_timeout(options_.keepAliveSeconds);
  http_->set_read_timeout(std::max(options_.readTimeoutSeconds, 1));
  http_->set_write_timeout(std::max(options_.writeTimeoutSeconds, 1));
  http_->set_idle_interval(0, 100000);
  routes();

  if (options_.port == 0) {
    port_ = http_->bind_to_any_port(options_.bind);
    if (port_ < 0) return fail("cannot bind to " + options_.bind);
  } else {
    if (!http_->bind_to_port(options_.bind, options_.port)) {
      return fail("cannot bind to " + options_.bind + ":" + std::to_string(options_.port));
    }
    port_ = options_.port;
  }
  // The library listens with a backlog of 5, which drops connections when
  // many clients arrive at once; widen it (listen() again only resizes it).
  if (listening >= 0) ::listen(listening, SOMAXCONN);
  for (const auto& rule : options_.faults) faults_.add(rule);
  callbacks_->start();

  running_ = true;
  thread_ = std::thread([this] {
    http_->listen_after_bind();
    {
      std::lock_guard lock(stopMutex_);
      running_ = false;
    }
    stopSignal_.notify_all();
  });
  // The socket already listens (clients queue in its backlog), but the
  // library's stop() only reaches a server whose accept loop has begun; wait
  // for it so that a stop() right after start() cannot be lost.
  while (!http_->is_running() && running_) std::this_thread::yield();
  platform::log("[sandbox] serving " + baseUrl() + " with database " + options_.dbPath);
  return true;
}

void SandboxServer::stop() {
  std::lock_guard lifecycle(lifecycleMutex_);
  {
    std::lock_guard lock(stopMutex_);
    stopping_ = true;
  }
  stopSignal_.notify_all();
  if (http_) http_->stop();
  // Idle kept-alive connections end now rather than at their time-out.
  if (guard_) guard_->endReading();
  if (thread_.joinable()) thread_.join();
  running_ = false;
  if (callbacks_) callbacks_->stop();
  http_.reset();
  guard_.reset();
  callbacks_.reset();
  gameServer_.reset();
  api_.reset();
  store_.reset();
}

int SandboxServer::connectionsServed() const { return guard_ ? guard_->served() : 0; }

void SandboxServer::wait() {
  std::unique_lock lock(stopMutex_);
  stopSignal_.wait(lock, [this] { return stopping_ || !running_; });
}

bool SandboxServer::openWithoutServing(std::string* error) {
  std::lock_guard lifecycle(lifecycleMutex_);
  if (store_) return true;
  std::string why;
  store_ = Store::open(options_.dbPath, &why);
  if (!store_) {
    if (error) *error = why;
    return false;
  }
  store_->setClock(clock_);
  auto secret = signingSecret(options_, &why);
  if (!secret) {
    if (error) *error = why;
    store_.reset();
    return false;
  }
  api_ = std::make_unique<SandboxApi>(*store_, options_, *secret, clock_);
  gameServer_ = std::make_unique<GameServerApi>(*store_, *api_, clock_);
  return true;
}

SandboxServer::Answer SandboxServer::answer(const std::string& method, const std::string& target,
                                            const std::vector<std::pair<std::string, std::string>>& headers,
                                            const std::string& body, const std::string& remoteAddress) {
  httplib::Request req;
  httplib::Response res;
  req.method = method;
  req.remote_addr = remoteAddress;
  const auto question = target.find('?');
  req.path = target.substr(0, question);
  if (question != std::string::npos) httplib::detail::parse_query_text(target.substr(question + 1), req.params);
  for (const auto& [name, value] : headers) req.headers.emplace(name, value);
  req.body = body;
  if (!store_) return {500, "not started"};

  // The same routes as routes(), matched the same way.
  static const std::regex wire(R"(/+sdk(standard|mini)/.*)");
  static const std::regex user(R"(/+useragreement\.html)");
  static const std::regex privacy(R"(/+privacyagreement\.html)");
  static const std::regex weChatPage(R"(/+wxh5/pay)");
  if (method == "POST" && std::regex_match(req.path, wire)) {
    const auto declared = req.get_header_value<std::uint64_t>("Content-Length");
    const bool tooLarge = declared > options_.bodyLimit || body.size() > options_.bodyLimit;
    handleWire(req, res, tooLarge ? std::string() : body, tooLarge);
  } else if (method == "GET" && std::regex_match(req.path, user)) {
    res.set_content(userAgreementPage(), kHtmlType);
  } else if (method == "GET" && std::regex_match(req.path, privacy)) {
    res.set_content(privacyAgreementPage(), kHtmlType);
  } else if (method == "GET" && std::regex_match(req.path, weChatPage)) {
    handleWeChatPage(req, res);
  } else if ((method == "GET" || method == "POST") && req.path == "/sandbox/wechat/open") {
    handleWeChatApp(req, res);
  } else if ((method == "GET" || method == "POST" || method == "DELETE") && req.path == "/sandbox/admin/faults") {
    handleAdmin(req, res);
  } else if (method == "POST" && GameServerApi::knows(req.path)) {
    handleGameServer(req, res);
  } else {
    res.status = 404;
  }
  if (res.status == -1) res.status = 200;
  return {res.status, res.body};
}

std::optional<std::int64_t> SandboxServer::addAccount(const std::string& name, const std::string& password,
                                                      Cents coins) {
  if (!store_ || name.empty() || password.empty() || coins < 0) return std::nullopt;
  return store_->addAccount(name, hashPassword(password, options_.passwordIterations), coins);
}

PayResult SandboxServer::openWeChat(const std::string& address) {
  const auto ticket = ticketOfWeChatAddress(address);
  if (!store_ || !ticket) return PayResult::UnknownOrder;
  const PayResult result = store_->payByWeChat(*ticket, nullptr);
  if (result == PayResult::Paid && callbacks_) callbacks_->wake();
  return result;
}

std::string SandboxServer::baseUrl() const {
  std::string host = options_.bind;
  if (host == "0.0.0.0" || host.empty()) host = "127.0.0.1";
  if (host == "::") host = "::1";
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return std::string(options_.tlsCert.empty() ? "http" : "https") + "://" + host + ":" + std::to_string(port_);
}

std::string SandboxServer::publicBase(const httplib::Request& req) const {
  const std::string host = req.get_header_value("Host");
  if (!plainHost(host)) return baseUrl();
  return std::string(options_.tlsCert.empty() ? "http" : "https") + "://" + host;
}

void SandboxServer::logRequest(const std::string& text) const {
  tLogged = true;
  if (options_.logRequests) platform::log("[sandbox] " + text);
}

void SandboxServer::pause(double seconds) {
  std::unique_lock lock(stopMutex_);
  stopSignal_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return stopping_; });
}

void SandboxServer::routes() {
  http_->Post(R"(/+sdk(standard|mini)/.*)",
              [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
                std::string body;
                const auto declared = req.get_header_value<std::uint64_t>("Content-Length");
                bool tooLarge = declared > options_.bodyLimit;
                // A body over the limit is never kept: it is read and dropped
                // (unless it is far too large even for that).
                if (declared <= options_.bodyLimit + kDrainLimit) {
                  reader([&](const char* data, std::size_t length) {
                    if (tooLarge || body.size() + length > options_.bodyLimit) {
                      tooLarge = true;
                      std::string().swap(body);
                    } else {
                      body.append(data, length);
                    }
                    return true;
                  });
                }
                handleWire(req, res, body, tooLarge);
              });

  auto agreement = [this](std::string page) {
    return [this, page = std::move(page)](const httplib::Request& req, httplib::Response& res) {
      res.set_content(page, kHtmlType);
      logRequest("GET " + req.path + " -> 200");
    };
  };
  http_->Get(R"(/+useragreement\.html)", agreement(userAgreementPage()));
  http_->Get(R"(/+privacyagreement\.html)", agreement(privacyAgreementPage()));
  http_->Get(R"(/+wxh5/pay)", [this](const httplib::Request& req, httplib::Response& res) { handleWeChatPage(req, res); });
  auto weChatApp = [this](const httplib::Request& req, httplib::Response& res) { handleWeChatApp(req, res); };
  http_->Get("/sandbox/wechat/open", weChatApp);
  http_->Post("/sandbox/wechat/open", weChatApp);
  auto admin = [this](const httplib::Request& req, httplib::Response& res) { handleAdmin(req, res); };
  http_->Get("/sandbox/admin/faults", admin);
  http_->Post("/sandbox/admin/faults", admin);
  http_->Delete("/sandbox/admin/faults", admin);
  auto gameServer = [this](const httplib::Request& req, httplib::Response& res) { handleGameServer(req, res); };
  http_->Post("/server/login/verify", gameServer);
  http_->Post("/server/order/query", gameServer);
  http_->Get("/sandbox/health", [this](const httplib::Request&, httplib::Response& res) {
    tLogged = true;  // polled often; not worth a line
    jsonReply(res, 200, {{"ok", true}, {"schema", store_->schemaVersion()}});
  });

  http_->set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    if (!tLogged && options_.logRequests) platform::log("[sandbox] " + req.method + " " + req.path + " -> " + std::to_string(res.status));
    tLogged = false;
  });
}

void SandboxServer::handleWire(const httplib::Request& req, httplib::Response& res, const std::string& body,
                               bool tooLarge) {
  const auto start = Clock::now();
  const std::string path = stripSlashes(req.path);
  if (tooLarge) {
    // Answer, then close the connection (a body far over the limit is still in it).
    res.status = 413;
    res.set_header("Connection", "close");
    res.set_content("request body too large", kReplyType);
    logRequest("POST " + req.path + " <body over " + std::to_string(options_.bodyLimit) + " bytes> -> 413 (" +
            elapsedText(start) + ")");
    return;
  }
  if (!SandboxApi::knows(path)) {
    res.status = 404;
    res.set_content("unknown endpoint", kReplyType);
    logRequest("POST " + req.path + " -> 404 unknown endpoint (" + elapsedText(start) + ")");
    return;
  }
  const auto fault = faults_.take(path);
  // A faulted reply may be slow on purpose: its connection keeps no deadline.
  if (fault) ConnectionGuard::waitingOnPurpose();
  if (fault && fault->mode == FaultMode::Delay) pause(fault->seconds);

  const auto request = TolbaDataFunc::decodingJSONLenient(body, options_.key);
  const Json reply = fault && fault->mode == FaultMode::Refuse
                         ? SandboxApi::refusal(path, fault->message.empty() ? kInjectedRefusal : fault->message)
                         : api_->handle(path, request, publicBase(req));
  std::optional<std::string> encoded;
  res.status = 200;
  std::string faultNote;
  if (fault) faultNote = std::string(" [fault ") + faultModeName(fault->mode) + "]";
  switch (fault ? fault->mode : FaultMode::Delay) {
    case FaultMode::Status500Empty:
      res.status = 500;
      encoded = std::string();
      break;
    case FaultMode::Status500Valid:
      res.status = 500;
      encoded = encodeReply(reply, options_.key);
      break;
    case FaultMode::Garbage:
      encoded = std::string(kGarbage, sizeof kGarbage - 1);
      break;
    case FaultMode::LineBreaks:
      encoded = encodeReplyWithLineBreaks(reply, options_.key);
      break;
    case FaultMode::Close:
      // Promise a body and then end the connection without it.
      res.set_content_provider(
          256, kReplyType, [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
      break;
    case FaultMode::Trickle: {
      // One byte at a time, for ever: only the client's limits end it (or the
      // server stopping).
      const double every = fault->seconds > 0 ? fault->seconds : kTrickleSeconds;
      res.set_chunked_content_provider(kReplyType, [this, every](std::size_t, httplib::DataSink& sink) {
        std::unique_lock lock(stopMutex_);
        if (stopSignal_.wait_for(lock, std::chrono::duration<double>(every), [this] { return stopping_; })) {
          return false;
        }
        lock.unlock();
        return sink.write("x", 1);
      });
      break;
    }
    case FaultMode::Oversized:
      res.set_chunked_content_provider(kReplyType, [](std::size_t offset, httplib::DataSink& sink) {
        static const std::string filler(64 * 1024, 'A');
        if (offset >= kOversizedBytes) {
          sink.done();
          return true;
        }
        return sink.write(filler.data(), filler.size());
      });
      break;
    case FaultMode::Delay:
    case FaultMode::Refuse:
      encoded = encodeReply(reply, options_.key);
      break;
  }
  const bool streamed = fault && (fault->mode == FaultMode::Close || fault->mode == FaultMode::Trickle ||
                                  fault->mode == FaultMode::Oversized);
  if (!streamed) {
    if (!encoded) {
      res.status = 500;
      encoded = std::string();
      faultNote += " [reply could not be encoded]";
    }
    res.set_content(*encoded, kReplyType);
  }
  const Json* status = platform::find(reply, SandboxApi::statusKey(path));
  logRequest("POST /" + path + " " + describeRequest(path, request, body.size()) + " -> " +
          (fault && fault->mode == FaultMode::Close ? std::string("closed") : std::to_string(res.status)) + " " +
          SandboxApi::statusKey(path) + "=" + (status ? platform::describe(*status) : "?") + faultNote + " (" +
          elapsedText(start) + ")");
}

void SandboxServer::handleWeChatPage(const httplib::Request& req, httplib::Response& res) {
  const auto start = Clock::now();
  const std::string referer = req.get_header_value("Referer");
  const std::string ticket = req.get_param_value("ticket");
  auto done = [&](const std::string& outcome) {
    logRequest("GET " + req.path + " ticket=" + maskSecret(ticket, 4) + " Referer=\"" + referer + "\" -> " +
            std::to_string(res.status) + " " + outcome + " (" + elapsedText(start) + ")");
  };
  if (!refererMatches(referer, options_.origin)) {
    // The real service only serves pages requested from its merchant's domain.
    res.status = 403;
    res.set_content(simplePage("微信支付", "商家参数格式有误，请联系商家解决"), kHtmlType);
    return done("wrong Referer");
  }
  const auto orderId = store_->orderOfWeChatTicket(ticket);
  const auto order = orderId ? store_->orderById(*orderId) : std::nullopt;
  if (!order) {
    res.status = 404;
    res.set_content(simplePage("微信支付", "订单不存在"), kHtmlType);
    return done("unknown ticket");
  }
  if (order->state == "paid") {
    res.status = 200;
    res.set_content(simplePage("微信支付", "订单已支付"), kHtmlType);
    return done("already paid");
  }
  const std::string address = weChatAddress(ticket, order->orderId);
  res.set_redirect(address, 302);
  res.set_content(simplePage("微信支付", "正在打开微信……") + "<!-- " + htmlEscape(address) + " -->", kHtmlType);
  done("to WeChat for order " + order->orderId);
}

void SandboxServer::handleWeChatApp(const httplib::Request& req, httplib::Response& res) {
  const auto start = Clock::now();
  std::string address = req.get_param_value("url");
  if (address.empty() && req.method == "POST") address = req.body;
  const auto ticket = ticketOfWeChatAddress(address);
  std::string orderId;
  PayResult result = PayResult::UnknownOrder;
  if (ticket) result = store_->payByWeChat(*ticket, &orderId);
  if (result == PayResult::Paid) callbacks_->wake();
  switch (result) {
    case PayResult::Paid: jsonReply(res, 200, {{"paid", true}, {"orderid", orderId}}); break;
    case PayResult::AlreadyPaid:
      jsonReply(res, 409, {{"paid", false}, {"orderid", orderId}, {"error", "already paid"}});
      break;
    case PayResult::Failed: jsonReply(res, 500, {{"paid", false}, {"error", "storage failure"}}); break;
    default: jsonReply(res, 404, {{"paid", false}, {"error", "not a payment address of this server"}}); break;
  }
  logRequest(req.method + " " + req.path + " -> " + std::to_string(res.status) + " " + payResultName(result) +
          (orderId.empty() ? "" : " order " + orderId) + " (" + elapsedText(start) + ")");
}

void SandboxServer::handleGameServer(const httplib::Request& req, httplib::Response& res) {
  const auto start = Clock::now();
  const auto fields = formDecode(req.body);
  const Json reply = gameServer_->handle(req.path, fields);
  jsonReply(res, 200, reply);
  std::string who;
  if (fields) {
    for (const char* name : {"gameid", "username", "orderid", "cporderid"}) {
      if (const auto it = fields->find(name); it != fields->end()) who += std::string(" ") + name + "=" + it->second;
    }
  }
  logRequest("POST " + req.path + who + " -> ok=" + platform::describe(reply.value("ok", Json(0))) +
             (reply.contains("error") ? " (" + reply.value("error", "") + ")" : std::string()) + " (" +
             elapsedText(start) + ")");
}

void SandboxServer::handleAdmin(const httplib::Request& req, httplib::Response& res) {
  const auto start = Clock::now();
  auto done = [&](const std::string& what) {
    logRequest(req.method + " " + req.path + " " + what + " -> " + std::to_string(res.status) + " (" +
            elapsedText(start) + ")");
  };
  if (!adminAllowed(req.remote_addr, req.get_header_value("Authorization"), options_.adminToken)) {
    jsonReply(res, 403, {{"error", "the admin endpoint answers loopback clients, or others with the admin token"}});
    return done("from " + req.remote_addr);
  }
  if (req.method == "DELETE") {
    faults_.clear();
    jsonReply(res, 200, {{"faults", Json::array()}});
    return done("cleared");
  }
  std::string added;
  if (req.method == "POST") {
    const Json body = Json::parse(req.body, nullptr, false);
    std::string why;
    const auto rule = parseFaultJson(body, &why);
    if (!rule) {
      jsonReply(res, 400, {{"error", why}});
      return done("refused: " + why);
    }
    faults_.add(*rule);
    added = platform::dumpCompact(faultToJson(*rule));
  }
  Json list = Json::array();
  for (const auto& rule : faults_.rules()) list.push_back(faultToJson(rule));
  jsonReply(res, 200, {{"faults", list}});
  done(req.method == "GET" ? "listed" : "added " + added);
}

}  // namespace tolba::sandbox
