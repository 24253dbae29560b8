#include "sandbox_server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "admin_access.h"
#include "callback_dispatcher.h"
#include "crypto.h"
#include "game_server_api.h"
#include "http_server.h"
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
// The "trickle" fault's time between bytes unless the rule names one.
constexpr double kTrickleSeconds = 0.05;
// The message of an injected refusal that names none.
constexpr char kInjectedRefusal[] = "服务器拒绝了请求（测试故障）";

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

void jsonReply(HttpResponse& res, int status, const Json& body) {
  res.status = status;
  res.contentType = kJsonType;
  res.body = platform::dumpCompact(body);
}

void textReply(HttpResponse& res, int status, std::string body, const char* type) {
  res.status = status;
  res.contentType = type;
  res.body = std::move(body);
}

std::optional<std::string> readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::int64_t wallClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

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
    callbacks_.reset();
    gameServer_.reset();
    api_.reset();
    store_.reset();
    return false;
  };
  if (running_) return fail("the server is already running");
  if (options_.key.size() != 64) return fail("the wire key table must hold 64 characters");
  if (options_.tlsCert.empty() != options_.tlsKey.empty()) return fail("--tls-cert and --tls-key go together");
  HttpServerSettings settings;
  if (!options_.tlsCert.empty()) {
    const auto cert = readWhole(options_.tlsCert);
    const auto key = readWhole(options_.tlsKey);
    if (!cert || !key) return fail("cannot load the TLS certificate or key");
    settings.tlsCert = *cert;
    settings.tlsKey = *key;
  }
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
      *store_,
      CallbackSettings{options_.callbackBaseDelayMs, options_.callbackLongestDelayMs, options_.callbackTimeoutSeconds});
  store_->setCallbackMaker([](const Order& order, const GameSettings& game) -> std::optional<Callback> {
    return makePaymentCallback(order, game, wallClockMs());
  });
  api_->setPaidHandler([dispatcher = callbacks_.get()] { dispatcher->wake(); });

  settings.bind = options_.bind;
  settings.port = options_.port;
  settings.threads = std::max(options_.threads, 2);
  settings.maxConnections = std::max(options_.maxConnections, 1);
  settings.maxPerAddress = std::max(options_.maxConnectionsPerAddress, 1);
  settings.requestTime = std::chrono::milliseconds(static_cast<std::int64_t>(options_.requestSeconds * 1000));
  settings.idleTimeout = std::chrono::seconds(
      std::max({options_.keepAliveSeconds, options_.readTimeoutSeconds, options_.writeTimeoutSeconds, 1}));
  settings.bodyLimit = options_.bodyLimit;
  if (options_.logRequests) {
    settings.log = [](const std::string& line) { platform::log("[sandbox] " + escapeControls(line)); };
  }
  http_ = std::make_unique<HttpServer>(std::move(settings),
                                       [this](const HttpRequest& req, HttpResponse& res) { dispatch(req, res); });
  if (!http_->start(&why)) return fail(why);
  port_ = http_->port();
  for (const auto& rule : options_.faults) faults_.add(rule);
  callbacks_->start();
  running_ = true;
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
  // Every connection ends now, idle kept-alive ones too; replies waiting on
  // purpose are cut short.
  if (http_) http_->stop();
  {
    std::lock_guard lock(stopMutex_);
    running_ = false;
  }
  stopSignal_.notify_all();
  if (callbacks_) callbacks_->stop();
  http_.reset();
  callbacks_.reset();
  gameServer_.reset();
  api_.reset();
  store_.reset();
}

int SandboxServer::connectionsServed() const { return http_ ? http_->connections() : 0; }

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
  if (!store_) return {500, "not started"};
  HttpRequest req;
  req.method = method;
  req.remoteAddress = remoteAddress;
  const auto question = target.find('?');
  req.path = target.substr(0, question);
  if (question != std::string::npos) {
    // A query that is not a well-formed form gives no fields.
    if (auto fields = formDecode(std::string_view(target).substr(question + 1))) req.params = std::move(*fields);
  }
  req.headers = headers;
  req.body = body;
  HttpResponse res;
  dispatch(req, res);
  if (res.then) {
    if (res.waitSeconds > 0) pause(res.waitSeconds);
    auto then = std::move(res.then);
    then(res);
  }
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

std::string SandboxServer::publicBase() const {
  std::string origin = options_.publicOrigin.empty() ? baseUrl() : options_.publicOrigin;
  while (!origin.empty() && origin.back() == '/') origin.pop_back();
  return origin;
}

void SandboxServer::logRequest(const std::string& text) const {
  if (options_.logRequests) platform::log("[sandbox] " + escapeControls(text));
}

void SandboxServer::pause(double seconds) {
  std::unique_lock lock(stopMutex_);
  stopSignal_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return stopping_; });
}

void SandboxServer::dispatch(const HttpRequest& req, HttpResponse& res) {
  const std::string& method = req.method;
  const std::string& path = req.path;
  const std::string trimmed = stripSlashes(path);
  const bool wire = trimmed.rfind("sdkstandard/", 0) == 0 || trimmed.rfind("sdkmini/", 0) == 0;
  if (method == "POST" && wire) {
    // Served requests over the limit never get here (the server answers 413
    // itself); those handed to answer() are measured here.
    const std::string declared = req.header("Content-Length");
    const bool tooLarge =
        req.body.size() > options_.bodyLimit || (!declared.empty() && declared.size() < 20 &&
                                                 std::strtoull(declared.c_str(), nullptr, 10) > options_.bodyLimit);
    return handleWire(req, res, tooLarge);
  }
  if (method == "GET" && (trimmed == "useragreement.html" || trimmed == "privacyagreement.html")) {
    textReply(res, 200, trimmed == "useragreement.html" ? userAgreementPage() : privacyAgreementPage(), kHtmlType);
    return logRequest("GET " + path + " -> 200");
  }
  if (method == "GET" && trimmed == "wxh5/pay") return handleWeChatPage(req, res);
  if ((method == "GET" || method == "POST") && path == "/sandbox/wechat/open") return handleWeChatApp(req, res);
  if ((method == "GET" || method == "POST" || method == "DELETE") && path == "/sandbox/admin/faults") {
    return handleAdmin(req, res);
  }
  if (method == "POST" && GameServerApi::knows(path)) return handleGameServer(req, res);
  if (method == "GET" && path == "/sandbox/health") {
    // Polled often; not worth a line.
    return jsonReply(res, 200, {{"ok", true}, {"schema", store_->schemaVersion()}});
  }
  textReply(res, 404, "not found", kReplyType);
  logRequest(method + " " + path + " -> 404");
}

void SandboxServer::handleWire(const HttpRequest& req, HttpResponse& res, bool tooLarge) {
  const auto start = Clock::now();
  const std::string path = stripSlashes(req.path);
  if (tooLarge) {
    textReply(res, 413, "request body too large", kReplyType);
    res.closeConnection = true;
    logRequest("POST " + req.path + " <body over " + std::to_string(options_.bodyLimit) + " bytes> -> 413 (" +
               elapsedText(start) + ")");
    return;
  }
  if (!SandboxApi::knows(path)) {
    textReply(res, 404, "unknown endpoint", kReplyType);
    logRequest("POST " + req.path + " -> 404 unknown endpoint (" + elapsedText(start) + ")");
    return;
  }
  const auto fault = faults_.take(path);
  // A faulted reply may be slow on purpose: its connection keeps no deadline.
  if (fault) res.slowOnPurpose = true;
  auto finish = [this, path, start, fault, body = req.body](HttpResponse& out) {
    const auto request = TolbaDataFunc::decodingJSONLenient(body, options_.key);
    const Json reply = fault && fault->mode == FaultMode::Refuse
                           ? SandboxApi::refusal(path, fault->message.empty() ? kInjectedRefusal : fault->message)
                           : api_->handle(path, request, publicBase());
    std::optional<std::string> encoded;
    out.status = 200;
    out.contentType = kReplyType;
    std::string faultNote;
    if (fault) faultNote = std::string(" [fault ") + faultModeName(fault->mode) + "]";
    switch (fault ? fault->mode : FaultMode::Delay) {
      case FaultMode::Status500Empty:
        out.status = 500;
        encoded = std::string();
        break;
      case FaultMode::Status500Valid:
        out.status = 500;
        encoded = encodeReply(reply, options_.key);
        break;
      case FaultMode::Garbage: encoded = std::string(kGarbage, sizeof kGarbage - 1); break;
      case FaultMode::LineBreaks: encoded = encodeReplyWithLineBreaks(reply, options_.key); break;
      case FaultMode::Close:
        // Promise a body and then end the connection without it.
        out.kind = HttpResponse::Body::CutShort;
        break;
      case FaultMode::Trickle:
        // One byte at a time, for ever: only the client's limits end it (or
        // the server stopping).
        out.kind = HttpResponse::Body::Trickle;
        out.trickleSeconds = fault->seconds > 0 ? fault->seconds : kTrickleSeconds;
        break;
      case FaultMode::Oversized: out.kind = HttpResponse::Body::Oversized; break;
      case FaultMode::Delay:
      case FaultMode::Refuse: encoded = encodeReply(reply, options_.key); break;
    }
    if (out.kind == HttpResponse::Body::Whole) {
      if (!encoded) {
        out.status = 500;
        encoded = std::string();
        faultNote += " [reply could not be encoded]";
      }
      out.body = std::move(*encoded);
    }
    const Json* status = platform::find(reply, SandboxApi::statusKey(path));
    logRequest("POST /" + path + " " + describeRequest(path, request, body.size()) + " -> " +
               (out.kind == HttpResponse::Body::CutShort ? std::string("closed") : std::to_string(out.status)) + " " +
               SandboxApi::statusKey(path) + "=" + (status ? platform::describe(*status) : "?") + faultNote + " (" +
               elapsedText(start) + ")");
  };
  if (fault && fault->mode == FaultMode::Delay && fault->seconds > 0) {
    // The connection is parked, not a thread: the reply is made when it is due.
    res.waitSeconds = fault->seconds;
    res.then = std::move(finish);
    return;
  }
  finish(res);
}

void SandboxServer::handleWeChatPage(const HttpRequest& req, HttpResponse& res) {
  const auto start = Clock::now();
  const std::string referer = req.header("Referer");
  const std::string ticket = req.param("ticket");
  auto done = [&](const std::string& outcome) {
    logRequest("GET " + req.path + " ticket=" + maskSecret(ticket, 4) + " Referer=\"" + referer + "\" -> " +
               std::to_string(res.status) + " " + outcome + " (" + elapsedText(start) + ")");
  };
  if (!refererMatches(referer, options_.origin)) {
    // The real service only serves pages requested from its merchant's domain.
    textReply(res, 403, simplePage("微信支付", "商家参数格式有误，请联系商家解决"), kHtmlType);
    return done("wrong Referer");
  }
  const auto orderId = store_->orderOfWeChatTicket(ticket);
  const auto order = orderId ? store_->orderById(*orderId) : std::nullopt;
  if (!order) {
    textReply(res, 404, simplePage("微信支付", "订单不存在"), kHtmlType);
    return done("unknown ticket");
  }
  if (order->state == "paid") {
    textReply(res, 200, simplePage("微信支付", "订单已支付"), kHtmlType);
    return done("already paid");
  }
  const std::string address = weChatAddress(ticket, order->orderId);
  textReply(res, 302, simplePage("微信支付", "正在打开微信……") + "<!-- " + htmlEscape(address) + " -->", kHtmlType);
  res.headers.emplace_back("Location", address);
  done("to WeChat for order " + order->orderId);
}

void SandboxServer::handleWeChatApp(const HttpRequest& req, HttpResponse& res) {
  const auto start = Clock::now();
  std::string address = req.param("url");
  if (address.empty() && req.method == "POST") {
    // A form's "url" field, or the address as the whole body.
    const bool form = req.header("Content-Type").rfind("application/x-www-form-urlencoded", 0) == 0;
    if (!form) {
      address = req.body;
    } else if (const auto fields = formDecode(req.body)) {
      if (const auto url = fields->find("url"); url != fields->end()) address = url->second;
    }
  }
  const auto ticket = ticketOfWeChatAddress(address);
  std::string orderId;
  PayResult result = PayResult::UnknownOrder;
  if (ticket) result = store_->payByWeChat(*ticket, &orderId);
  if (result == PayResult::Paid && callbacks_) callbacks_->wake();
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

void SandboxServer::handleGameServer(const HttpRequest& req, HttpResponse& res) {
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

void SandboxServer::handleAdmin(const HttpRequest& req, HttpResponse& res) {
  const auto start = Clock::now();
  auto done = [&](const std::string& what) {
    logRequest(req.method + " " + req.path + " " + what + " -> " + std::to_string(res.status) + " (" +
               elapsedText(start) + ")");
  };
  if (!adminAllowed(req.remoteAddress, req.header("Authorization"), options_.adminToken)) {
    jsonReply(res, 403, {{"error", "the admin endpoint answers loopback clients, or others with the admin token"}});
    return done("from " + req.remoteAddress);
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
