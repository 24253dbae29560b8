#include "load_bench.h"

#include <httplib.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <optional>
#include <ostream>
#include <string_view>
#include <thread>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <strings.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include "net/TolbaDataFunc.h"
#include "sandbox_server.h"
#include "tolba/platform/log.h"

namespace tolba::sandbox {
namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr char kGame[] = "1001";
constexpr char kPassword[] = "bench-password";

// Reads or writes all of `size` bytes on a socket (a peer gone is a failure,
// not a SIGPIPE).
bool readAll(int fd, void* into, std::size_t size) {
  auto* p = static_cast<char*>(into);
  while (size > 0) {
    const ssize_t n = ::recv(fd, p, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool writeAll(int fd, const void* from, std::size_t size) {
  const auto* p = static_cast<const char*>(from);
  while (size > 0) {
    const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// One keep-alive client connection to the server that sends a whole request
// in one send and reads the reply with Content-Length. The HTTP library's
// client made nine system calls a request (and cost about as much CPU as the
// server): on two CPUs shared with the server it measured mostly itself.
class BenchConnection {
 public:
  explicit BenchConnection(int port) : port_(port) {}
  ~BenchConnection() { hangUp(); }
  BenchConnection(const BenchConnection&) = delete;
  BenchConnection& operator=(const BenchConnection&) = delete;

  // Sends `request` and reads its reply's status and body; false when the
  // connection fails or the reply is not understood.
  bool exchange(const std::string& request, int* status, std::string* body) {
    if (fd_ < 0 && !connectToServer()) return false;
    if (!writeAll(fd_, request.data(), request.size())) return hangUp();
    std::size_t headerEnd = std::string::npos;
    while ((headerEnd = in_.find("\r\n\r\n")) == std::string::npos) {
      if (!receiveMore()) return hangUp();
    }
    const std::string_view head(in_.data(), headerEnd + 2);
    if (head.size() < 12 || head.compare(0, 9, "HTTP/1.1 ") != 0) return hangUp();
    *status = std::atoi(in_.c_str() + 9);
    const auto length = headerValue(head, "content-length");
    if (!length) return hangUp();
    const std::size_t total = headerEnd + 4 + static_cast<std::size_t>(std::strtoul(length->c_str(), nullptr, 10));
    while (in_.size() < total) {
      if (!receiveMore()) return hangUp();
    }
    body->assign(in_, headerEnd + 4, total - headerEnd - 4);
    const bool closing = headerValue(head, "connection") == "close";
    in_.erase(0, total);
    if (closing) hangUp();  // the next request opens a new connection
    return true;
  }

 private:
  bool connectToServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int yes = 1;
    const timeval patience{30, 0};
    if (::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes) != 0 ||
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience) != 0 ||
        ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      return hangUp();
    }
    return true;
  }

  bool receiveMore() {
    char buffer[16 * 1024];
    for (;;) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      in_.append(buffer, static_cast<std::size_t>(n));
      return true;
    }
  }

  // Always false, for the failures that end the connection.
  bool hangUp() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    in_.clear();
    return false;
  }

  // The value of header `name` (lower case) in `head`, the status line and the
  // header lines each ending in CR LF.
  static std::optional<std::string> headerValue(std::string_view head, std::string_view name) {
    std::size_t at = head.find("\r\n");
    while (at != std::string_view::npos && at + 2 < head.size()) {
      const std::size_t begin = at + 2;
      const std::size_t end = head.find("\r\n", begin);
      const std::string_view line = head.substr(begin, end - begin);
      const std::size_t colon = line.find(':');
      if (colon == name.size() && ::strncasecmp(line.data(), name.data(), name.size()) == 0) {
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        return std::string(value);
      }
      at = end;
    }
    return std::nullopt;
  }

  const int port_;
  int fd_ = -1;
  std::string in_;  // received and not yet consumed
};

// Sends `total` copies of one request body, spread over `clients` threads.
LoadBenchResult hammer(int port, const std::string& path, const std::string& body, const char* statusKey, int total,
                       int clients) {
  const std::string request = "POST /" + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                              "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                              "\r\n\r\n" + body;
  std::atomic<int> next{0};
  std::atomic<int> failures{0};
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(clients));
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&] {
      BenchConnection connection(port);
      int status = 0;
      std::string replyBody;
      while (next.fetch_add(1) < total) {
        const bool answered = connection.exchange(request, &status, &replyBody);
        const auto reply = answered && status == 200 ? TolbaDataFunc::decodingJSON(replyBody) : std::nullopt;
        if (!reply || !reply->is_object() || reply->value(statusKey, 0) != 1) ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  LoadBenchResult result;
  result.endpoint = path;
  result.requests = total;
  result.failures = failures.load();
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return result;
}

bool parseCount(const std::string& text, int low, int* out) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < low || v > 10'000'000) return false;
  *out = static_cast<int>(v);
  return true;
}

// User and system CPU time of this process, all threads.
double processCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// What the server process tells the client process once it serves.
struct Job {
  int port = 0;  // 0: there is no server, give up
  std::int64_t uid = 0;
};

// What the client process answers: a status, then one figure per endpoint.
enum class ClientStatus : int { Done, LoginFailed };
struct Figure {
  int requests = 0;
  int failures = 0;
  double seconds = 0;
};

// The client process: waits for the job, sends the requests and reports.
[[noreturn]] void runClients(const LoadBenchOptions& options, int server) {
  Job job;
  if (!readAll(server, &job, sizeof job) || job.port == 0) ::_exit(1);
  const Json login = {{"z", "bench"},        {"b", kPassword}, {"c", "3"},  {"d", kGame},
                      {"e", "bench-device"}, {"f", "tolba"},   {"x", kGame}};
  const Json balance = {{"zz", std::to_string(job.uid)}, {"z", kGame}, {"b", kGame}, {"bb", "tolba"}};
  // The balance answers only an account with an open session: log in once.
  const bool loggedIn =
      hammer(job.port, "sdkmini/login/dologin", *TolbaDataFunc::codingJSON(login), "z", 1, 1).failures == 0;
  const ClientStatus status = loggedIn ? ClientStatus::Done : ClientStatus::LoginFailed;
  bool sent = writeAll(server, &status, sizeof status);
  // Each figure is sent when its requests are done, so that the server process
  // can tell its own CPU time for each.
  auto run = [&](const char* path, const Json& body, const char* statusKey, int total) {
    if (!sent || !loggedIn || total <= 0) return;
    const auto r = hammer(job.port, path, *TolbaDataFunc::codingJSON(body), statusKey, total, options.clients);
    const Figure f{r.requests, r.failures, r.seconds};
    sent = writeAll(server, &f, sizeof f);
  };
  run("sdkmini/login/dologin", login, "z", options.loginRequests);
  run("sdkmini/pay/getPayWay", balance, "code", options.balanceRequests);
  ::_exit(sent ? 0 : 1);
}

}  // namespace

bool runLoadBench(const LoadBenchOptions& options, std::vector<LoadBenchResult>* results, std::string* error) {
  auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  // The clients run in a process of their own, forked before the server starts
  // any thread: the figures are then the server's, not shared with client
  // threads in one process (the two processes still share the machine's CPUs).
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return fail("cannot make a socket pair");
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(ends[0]);
    ::close(ends[1]);
    return fail("cannot start the client process");
  }
  if (child == 0) {
    ::close(ends[0]);
    runClients(options, ends[1]);
  }
  ::close(ends[1]);
  // Ends the client process however this returns.
  struct Reap {
    pid_t pid;
    int clients;
    ~Reap() {
      ::close(clients);  // a client process still waiting for its job gives up
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }
  } reap{child, ends[0]};

  SandboxOptions serverOptions;
  serverOptions.dbPath = ":memory:";
  serverOptions.logRequests = false;
  serverOptions.passwordIterations = options.passwordIterations;
  serverOptions.threads = std::max(options.clients + 2, 4);
  // Every client connects from the loopback address.
  serverOptions.maxConnectionsPerAddress = std::max(options.clients + 2, serverOptions.maxConnectionsPerAddress);
  SandboxServer server(serverOptions);
  if (!server.start(error)) return false;
  const auto uid = server.addAccount("bench", kPassword, 1000 * 100);
  if (!uid) return fail("cannot add the benchmark account");
  // One request before the clients start: the server answers.
  if (!httplib::Client("127.0.0.1", server.port()).Get("/sandbox/health")) return fail("the server does not answer");
  const Job job{server.port(), *uid};
  ClientStatus status{};
  if (!writeAll(reap.clients, &job, sizeof job) || !readAll(reap.clients, &status, sizeof status)) {
    return fail("the client process ended early");
  }
  if (status == ClientStatus::LoginFailed) return fail("the benchmark account cannot log in");
  results->clear();
  double cpu = processCpuSeconds();
  auto collect = [&](const char* endpoint, int requested) {
    if (requested <= 0) return true;
    Figure f;
    if (!readAll(reap.clients, &f, sizeof f)) return false;
    const double now = processCpuSeconds();
    LoadBenchResult r;
    r.endpoint = endpoint;
    r.requests = f.requests;
    r.failures = f.failures;
    r.seconds = f.seconds;
    r.serverCpuSeconds = now - cpu;
    cpu = now;
    results->push_back(r);
    return true;
  };
  if (!collect("sdkmini/login/dologin", options.loginRequests) ||
      !collect("sdkmini/pay/getPayWay", options.balanceRequests)) {
    return fail("the client process ended early");
  }
  server.stop();
  return true;
}

int benchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  LoadBenchOptions options;
  // Each flag takes the word after it.
  for (std::size_t i = 0; i < args.size(); i += 2) {
    const std::string& a = args[i];
    int* target = a == "--clients"      ? &options.clients
                  : a == "--logins"     ? &options.loginRequests
                  : a == "--balances"   ? &options.balanceRequests
                  : a == "--iterations" ? &options.passwordIterations
                                        : nullptr;
    const int low = a == "--clients" || a == "--iterations" ? 1 : 0;
    if (target == nullptr || i + 1 >= args.size() || !parseCount(args[i + 1], low, target)) {
      err << "tolba-sandbox: bench [--clients N] [--logins N] [--balances N] [--iterations N]\n";
      return 2;
    }
  }
  std::vector<LoadBenchResult> results;
  std::string error;
  if (!runLoadBench(options, &results, &error)) {
    err << "tolba-sandbox: " << error << "\n";
    return 1;
  }
  out << "clients " << options.clients << " (threads of a separate process), password hash iterations "
      << options.passwordIterations << ", " << std::thread::hardware_concurrency() << " CPUs\n";
  int failures = 0;
  for (const auto& r : results) {
    out << std::left << std::setw(24) << r.endpoint << std::right << std::setw(8) << r.requests << " requests "
        << std::fixed << std::setprecision(2) << std::setw(8) << r.seconds << " s " << std::setprecision(0)
        << std::setw(8) << r.requestsPerSecond() << " requests/s";
    // The server's CPU time per request: what the load of the machine changes least.
    out << "  server CPU " << std::setprecision(1) << r.serverCpuSeconds * 1e6 / std::max(r.requests, 1)
        << " us/request";
    if (r.failures > 0) out << "  (" << r.failures << " failed)";
    out << "\n";
    failures += r.failures;
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace tolba::sandbox
