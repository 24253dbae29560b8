#include "http_server.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tolba::sandbox {
namespace {

using Clock = std::chrono::steady_clock;

// Forward-secret key exchange, AEAD ciphers, TLS 1.2 and 1.3 only.
constexpr char kTlsPriorities[] =
    "SECURE:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-RSA:-DHE-RSA:-DHE-DSS:-CIPHER-ALL:+AES-256-GCM:+AES-128-GCM:"
    "+CHACHA20-POLY1305:-MAC-ALL:+AEAD:%SERVER_PRECEDENCE";
// How often the deadlines are looked at.
constexpr auto kSweepEvery = std::chrono::milliseconds(50);
// The server's own lines written a second at most; the rest are counted.
constexpr int kLinesPerSecond = 5;
// The filler of the oversized reply, and how much of it goes out.
constexpr std::size_t kOversizedBytes = 64u << 20;

std::int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

std::string addressText(const sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = "?";
  if (!address) return text;
  if (address->sa_family == AF_INET) {
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  } else if (address->sa_family == AF_INET6) {
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
  }
  std::string out = text;
  if (out.rfind("::ffff:", 0) == 0 && out.find('.') != std::string::npos) out.erase(0, 7);
  return out;
}

bool allDigits(const std::string& text) {
  if (text.empty() || text.size() > 19) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool sameName(const std::string& a, const char* b) { return ::strcasecmp(a.c_str(), b) == 0; }

enum MHD_Result collectHeader(void* cls, enum MHD_ValueKind, const char* key, const char* value) {
  static_cast<HttpRequest*>(cls)->headers.emplace_back(key ? key : "", value ? value : "");
  return MHD_YES;
}

enum MHD_Result collectParam(void* cls, enum MHD_ValueKind, const char* key, const char* value) {
  static_cast<HttpRequest*>(cls)->params.emplace(key ? key : "", value ? value : "");
  return MHD_YES;
}

// Why a request's framing is refused, or "" when it is sound.
std::string framingFault(const HttpRequest& request) {
  int lengths = 0;
  bool chunked = false;
  for (const auto& [name, value] : request.headers) {
    if (sameName(name, MHD_HTTP_HEADER_CONTENT_LENGTH)) {
      ++lengths;
      if (!allDigits(value)) return "invalid Content-Length";
    } else if (sameName(name, MHD_HTTP_HEADER_TRANSFER_ENCODING)) {
      if (::strcasecmp(value.c_str(), "chunked") != 0) return "unsupported Transfer-Encoding";
      chunked = true;
    }
  }
  if (lengths > 1) return "more than one Content-Length";
  if (lengths == 1 && chunked) return "chunked with a Content-Length";
  return {};
}

}  // namespace

struct HttpServer::Connection {
  int fd = -1;
  std::string address;
  std::atomic<std::int64_t> sinceNs{0};  // opened, or its last reply left
  std::atomic<bool> onPurpose{false};
  bool cut = false;      // under the server's mutex
  bool refused = false;  // beyond the bound: does not count as open
};

struct HttpServer::Exchange {
  HttpServer* server = nullptr;
  MHD_Connection* mhd = nullptr;
  Connection* connection = nullptr;
  HttpRequest request;
  HttpResponse response;
  bool tooLarge = false;
  std::size_t dropped = 0;
  bool handled = false;
  Clock::time_point nextByte{};
};

namespace {

enum MHD_Result requestTrampoline(void* cls, MHD_Connection* c, const char* url, const char* method, const char*,
                                  const char* upload, std::size_t* size, void** state) {
  return static_cast<enum MHD_Result>(static_cast<HttpServer*>(cls)->onRequest(c, url, method, upload, size, state));
}

void completedTrampoline(void* cls, MHD_Connection* c, void** state, enum MHD_RequestTerminationCode) {
  static_cast<HttpServer*>(cls)->onCompleted(c, state);
}

void connectionTrampoline(void* cls, MHD_Connection* c, void** socketState, enum MHD_ConnectionNotificationCode code) {
  static_cast<HttpServer*>(cls)->onConnection(c, socketState, code == MHD_CONNECTION_NOTIFY_STARTED);
}

void logTrampoline(void* cls, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  static_cast<HttpServer*>(cls)->onLibraryMessage(text);
}

ssize_t trickleTrampoline(void* cls, std::uint64_t, char* buffer, std::size_t max) {
  auto* exchange = static_cast<HttpServer::Exchange*>(cls);
  return exchange->server->onTrickle(*exchange, buffer, max);
}

ssize_t cutShortReader(void*, std::uint64_t, char*, std::size_t) { return MHD_CONTENT_READER_END_WITH_ERROR; }

ssize_t oversizedReader(void*, std::uint64_t offset, char* buffer, std::size_t max) {
  if (offset >= kOversizedBytes) return MHD_CONTENT_READER_END_OF_STREAM;
  const std::size_t n = std::min<std::uint64_t>(max, kOversizedBytes - offset);
  std::memset(buffer, 'A', n);
  return static_cast<ssize_t>(n);
}

}  // namespace

HttpServer::HttpServer(HttpServerSettings settings, Handler handler)
    : settings_(std::move(settings)), handler_(std::move(handler)) {}

HttpServer::~HttpServer() { stop(); }

bool HttpServer::start(std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
    return false;
  };
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string where = settings_.bind + ":" + std::to_string(settings_.port);
  if (::getaddrinfo(settings_.bind.c_str(), std::to_string(settings_.port).c_str(), &hints, &found) != 0 || !found) {
    return fail("cannot bind to " + where + ": unknown address");
  }
  const int family = found->ai_family;
  listenFd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int yes = 1;
  // Only SO_REUSEADDR: SO_REUSEPORT would let a second server share the port.
  const bool bound = listenFd_ >= 0 && ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) == 0 &&
                     ::bind(listenFd_, found->ai_addr, found->ai_addrlen) == 0 && ::listen(listenFd_, SOMAXCONN) == 0;
  ::freeaddrinfo(found);
  if (!bound) return fail("cannot bind to " + where + ": " + std::strerror(errno));
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&local), &length);
  port_ = ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                            : reinterpret_cast<sockaddr_in*>(&local)->sin_port);

  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
  if (family == AF_INET6) flags |= MHD_USE_IPv6;
  if (tls()) flags |= MHD_USE_TLS;
  const auto idle = static_cast<intptr_t>(std::max<std::int64_t>(settings_.idleTimeout.count(), 1));
  std::vector<MHD_OptionItem> options = {
      {MHD_OPTION_LISTEN_SOCKET, listenFd_, nullptr},
      {MHD_OPTION_THREAD_POOL_SIZE, std::max(settings_.threads, 1), nullptr},
      // The library stops accepting at its own bound, leaving clients waiting
      // unanswered in the backlog; this server's bound (below it) refuses them.
      {MHD_OPTION_CONNECTION_LIMIT, 2 * std::max(settings_.maxConnections, 1) + 64, nullptr},
      {MHD_OPTION_PER_IP_CONNECTION_LIMIT, std::max(settings_.maxPerAddress, 1), nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, idle, nullptr},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(settings_.connectionMemory), nullptr},
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&completedTrampoline), this},
      {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&connectionTrampoline), this},
      {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&logTrampoline), this},
  };
  if (tls()) {
    options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(settings_.tlsCert.c_str())});
    options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(settings_.tlsKey.c_str())});
    options.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)});
  }
  options.push_back({MHD_OPTION_END, 0, nullptr});
  {
    std::lock_guard lock(mutex_);
    stopping_ = false;
  }
  ending_ = false;
  daemon_ = MHD_start_daemon(flags, 0, nullptr, nullptr, &requestTrampoline, this, MHD_OPTION_ARRAY, options.data(),
                             MHD_OPTION_END);
  if (!daemon_)
    return fail(tls() ? "cannot start the HTTPS server (is the certificate and key PEM?)"
                      : "cannot start the HTTP server on " + where);
  watcher_ = std::thread([this] { watch(); });
  return true;
}

void HttpServer::stop() {
  std::vector<MHD_Connection*> waiting;
  {
    std::lock_guard lock(mutex_);
    if (stopping_ && !daemon_) return;
    stopping_ = true;
    for (const auto& [due, c] : suspended_) waiting.push_back(c);
    suspended_.clear();
  }
  ending_ = true;
  wake_.notify_all();
  if (watcher_.joinable()) watcher_.join();
  for (auto* c : waiting) MHD_resume_connection(c);
  if (daemon_) MHD_stop_daemon(daemon_);
  daemon_ = nullptr;
  // The library closes the listening socket it was given.
  listenFd_ = -1;
}

int HttpServer::connections() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(open_.size() - refused_);
}

void HttpServer::onConnection(MHD_Connection* c, void** socketState, bool opened) {
  if (opened) {
    auto* connection = new Connection;
    if (const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD))
      connection->fd = info->connect_fd;
    if (const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS)) {
      connection->address = addressText(info->client_addr);
    }
    connection->sinceNs = nowNs();
    *socketState = connection;
    std::lock_guard lock(mutex_);
    if (static_cast<int>(open_.size() - refused_) >= settings_.maxConnections) {
      // Beyond the bound: told so when the connection is plain, and closed.
      connection->cut = true;
      connection->refused = true;
      ++refused_;
      if (!tls() && connection->fd >= 0) {
        static constexpr char kBusy[] =
            "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
        (void)!::send(connection->fd, kBusy, sizeof kBusy - 1, MSG_DONTWAIT | MSG_NOSIGNAL);
      }
      if (connection->fd >= 0) ::shutdown(connection->fd, SHUT_RDWR);
      log("refused a connection from " + connection->address + ": " + std::to_string(settings_.maxConnections) +
              " connections are open",
          LineKind::Refusal);
    }
    open_[c] = connection;
    return;
  }
  auto* connection = static_cast<Connection*>(*socketState);
  {
    // Under the lock: the watcher never shuts down a socket that has closed.
    std::lock_guard lock(mutex_);
    if (open_.erase(c) > 0 && connection && connection->refused) --refused_;
  }
  delete connection;
  *socketState = nullptr;
}

int HttpServer::onRequest(MHD_Connection* c, const char* url, const char* method, const char* upload, std::size_t* size,
                          void** state) {
  auto* exchange = static_cast<Exchange*>(*state);
  if (!exchange) {
    exchange = new Exchange;
    *state = exchange;
    exchange->server = this;
    exchange->mhd = c;
    if (const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT)) {
      exchange->connection = static_cast<Connection*>(info->socket_context);
    }
    auto& request = exchange->request;
    request.method = method ? method : "";
    request.path = url ? url : "";
    request.remoteAddress = exchange->connection ? exchange->connection->address : "?";
    MHD_get_connection_values(c, MHD_HEADER_KIND, &collectHeader, &request);
    if (const auto fault = framingFault(request); !fault.empty()) return refuse(c, *exchange, 400, fault);
    if (static_cast<int>(request.headers.size()) > settings_.maxHeaders) {
      return refuse(c, *exchange, 431, "more than " + std::to_string(settings_.maxHeaders) + " headers");
    }
    const std::string length = request.header(MHD_HTTP_HEADER_CONTENT_LENGTH);
    const std::uint64_t declared = length.empty() ? 0 : std::stoull(length);
    if (declared > settings_.bodyLimit) {
      exchange->tooLarge = true;
      // Far over the limit, or a client that waits to hear whether to send it:
      // refused unread.
      const bool asks = ::strcasecmp(request.header(MHD_HTTP_HEADER_EXPECT).c_str(), "100-continue") == 0;
      if (asks || declared > settings_.bodyLimit + settings_.drainLimit) return reply(c, *exchange);
    }
    return MHD_YES;
  }
  if (*size > 0) {
    if (!exchange->tooLarge && exchange->request.body.size() + *size <= settings_.bodyLimit) {
      exchange->request.body.append(upload, *size);
    } else {
      exchange->tooLarge = true;
      exchange->dropped += exchange->request.body.size() + *size;
      std::string().swap(exchange->request.body);
    }
    *size = 0;
    if (exchange->dropped > settings_.drainLimit) return reply(c, *exchange);
    return MHD_YES;
  }
  // The request is whole.
  if (!exchange->handled) {
    exchange->handled = true;
    if (!exchange->tooLarge) {
      MHD_get_connection_values(c, MHD_GET_ARGUMENT_KIND, &collectParam, &exchange->request);
      handler_(exchange->request, exchange->response);
      if (exchange->response.slowOnPurpose && exchange->connection) exchange->connection->onPurpose = true;
      if (exchange->response.then && exchange->response.waitSeconds > 0 && !ending_) {
        suspendUntil(c, Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(exchange->response.waitSeconds)));
        return MHD_YES;
      }
    }
  }
  if (auto then = std::move(exchange->response.then)) {
    exchange->response.then = nullptr;
    then(exchange->response);
  }
  return reply(c, *exchange);
}

int HttpServer::reply(MHD_Connection* c, Exchange& exchange) {
  HttpResponse& res = exchange.response;
  if (exchange.tooLarge) {
    res = HttpResponse();
    res.status = 413;
    res.contentType = "text/plain; charset=utf-8";
    res.body = "request body too large";
    res.closeConnection = true;
  }
  MHD_Response* response = nullptr;
  switch (res.kind) {
    case HttpResponse::Body::Whole:
      response = MHD_create_response_from_buffer(res.body.size(), res.body.data(), MHD_RESPMEM_MUST_COPY);
      break;
    case HttpResponse::Body::CutShort:
      response = MHD_create_response_from_callback(256, 256, &cutShortReader, nullptr, nullptr);
      break;
    case HttpResponse::Body::Trickle:
      exchange.nextByte = Clock::now();
      response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 1, &trickleTrampoline, &exchange, nullptr);
      break;
    case HttpResponse::Body::Oversized:
      response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 64 * 1024, &oversizedReader, nullptr, nullptr);
      break;
  }
  if (!response) return MHD_NO;
  if (!res.contentType.empty())
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, res.contentType.c_str());
  for (const auto& [name, value] : res.headers) MHD_add_response_header(response, name.c_str(), value.c_str());
  if (res.closeConnection) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
  const enum MHD_Result queued = MHD_queue_response(c, static_cast<unsigned>(res.status), response);
  MHD_destroy_response(response);
  return queued;
}

int HttpServer::refuse(MHD_Connection* c, Exchange& exchange, int status, const std::string& why) {
  log("refused a request from " + exchange.request.remoteAddress + ": " + why + " -> " + std::to_string(status),
      LineKind::Refusal);
  exchange.response.status = status;
  exchange.response.contentType = "text/plain; charset=utf-8";
  exchange.response.body = why;
  exchange.response.closeConnection = true;
  return reply(c, exchange);
}

void HttpServer::onCompleted(MHD_Connection*, void** state) {
  auto* exchange = static_cast<Exchange*>(*state);
  if (!exchange) return;
  if (exchange->connection) {
    exchange->connection->sinceNs = nowNs();
    exchange->connection->onPurpose = false;
  }
  delete exchange;
  *state = nullptr;
}

long HttpServer::onTrickle(Exchange& exchange, char* buffer, std::size_t max) {
  if (ending_ || max == 0) return MHD_CONTENT_READER_END_WITH_ERROR;
  const auto now = Clock::now();
  if (now >= exchange.nextByte) {
    buffer[0] = 'x';
    exchange.nextByte = now + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(exchange.response.trickleSeconds));
    return 1;
  }
  suspendUntil(exchange.mhd, exchange.nextByte);
  return 0;
}

void HttpServer::suspendUntil(MHD_Connection* c, Clock::time_point due) {
  MHD_suspend_connection(c);
  {
    std::lock_guard lock(mutex_);
    if (!stopping_) {
      suspended_.emplace(due, c);
      wake_.notify_all();
      return;
    }
  }
  MHD_resume_connection(c);
}

void HttpServer::watch() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    auto until = Clock::now() + kSweepEvery;
    if (!suspended_.empty()) until = std::min(until, suspended_.begin()->first);
    wake_.wait_until(lock, until);
    if (stopping_) break;

    const auto now = Clock::now();
    std::vector<MHD_Connection*> due;
    while (!suspended_.empty() && suspended_.begin()->first <= now) {
      due.push_back(suspended_.begin()->second);
      suspended_.erase(suspended_.begin());
    }
    const std::int64_t limitNs = std::chrono::duration_cast<std::chrono::nanoseconds>(settings_.requestTime).count();
    const std::int64_t nowValue = nowNs();
    for (auto& [mhd, connection] : open_) {
      if (connection->cut || connection->onPurpose || nowValue - connection->sinceNs < limitNs) continue;
      connection->cut = true;
      log("closed a connection from " + connection->address + ": no complete request within " +
              std::to_string(settings_.requestTime.count()) + " ms",
          LineKind::Deadline);
      // The library sees the end of the stream and closes the connection.
      if (connection->fd >= 0) ::shutdown(connection->fd, SHUT_RDWR);
    }
    lock.unlock();
    for (auto* c : due) MHD_resume_connection(c);
    lock.lock();
  }
}

void HttpServer::onLibraryMessage(const std::string& text) {
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  log(line, LineKind::Library);
}

void HttpServer::log(const std::string& text, LineKind kind) const {
  if (!settings_.log) return;
  std::string leftOut;
  {
    std::lock_guard lock(logMutex_);
    auto& budget = logBudgets_[static_cast<std::size_t>(kind)];
    const auto now = Clock::now();
    if (now - budget.window >= std::chrono::seconds(1)) {
      if (budget.leftOut > 0) leftOut = "(" + std::to_string(budget.leftOut) + " more such lines left out)";
      budget.window = now;
      budget.logged = 0;
      budget.leftOut = 0;
    }
    if (budget.logged >= kLinesPerSecond) {
      ++budget.leftOut;
      return;
    }
    ++budget.logged;
  }
  if (!leftOut.empty()) settings_.log(leftOut);
  settings_.log(text);
}

}  // namespace tolba::sandbox
