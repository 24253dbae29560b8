#include "load_bench.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <ostream>
#include <thread>

#include "net/TolbaDataFunc.h"
#include "sandbox_server.h"
#include "tolba/platform/log.h"

namespace tolba::sandbox {
namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr char kGame[] = "1001";
constexpr char kPassword[] = "bench-password";

// Sends `total` copies of one request body, spread over `clients` threads.
LoadBenchResult hammer(int port, const std::string& path, const std::string& body, const char* statusKey, int total,
                       int clients) {
  std::atomic<int> next{0};
  std::atomic<int> failures{0};
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&] {
      httplib::Client client("127.0.0.1", port);
      client.set_keep_alive(true);
      client.set_tcp_nodelay(true);
      client.set_read_timeout(std::chrono::seconds(30));
      while (next.fetch_add(1) < total) {
        const auto res = client.Post(("/" + path).c_str(), body, "text/html");
        const auto reply = res && res->status == 200 ? TolbaDataFunc::decodingJSON(res->body) : std::nullopt;
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

}  // namespace

bool runLoadBench(const LoadBenchOptions& options, std::vector<LoadBenchResult>* results, std::string* error) {
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
  if (!uid) {
    if (error) *error = "cannot add the benchmark account";
    return false;
  }
  // One request from this thread before the client threads start: it checks
  // that the server answers, and sets up the HTTP library's lazily built
  // statics before several threads can race to them.
  if (!httplib::Client("127.0.0.1", server.port()).Get("/sandbox/health")) {
    if (error) *error = "the server does not answer";
    return false;
  }
  const Json login = {{"z", "bench"}, {"b", kPassword}, {"c", "3"}, {"d", kGame},
                      {"e", "bench-device"}, {"f", "tolba"}, {"x", kGame}};
  const Json balance = {{"zz", std::to_string(*uid)}, {"z", kGame}, {"b", kGame}, {"bb", "tolba"}};
  // The balance answers only an account with an open session: log in once.
  if (hammer(server.port(), "sdkmini/login/dologin", *TolbaDataFunc::codingJSON(login), "z", 1, 1).failures != 0) {
    if (error) *error = "the benchmark account cannot log in";
    return false;
  }
  results->clear();
  if (options.loginRequests > 0) {
    results->push_back(hammer(server.port(), "sdkmini/login/dologin", *TolbaDataFunc::codingJSON(login), "z",
                              options.loginRequests, options.clients));
  }
  if (options.balanceRequests > 0) {
    results->push_back(hammer(server.port(), "sdkmini/pay/getPayWay", *TolbaDataFunc::codingJSON(balance), "code",
                              options.balanceRequests, options.clients));
  }
  server.stop();
  return true;
}

int benchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  LoadBenchOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
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
    ++i;
  }
  std::vector<LoadBenchResult> results;
  std::string error;
  if (!runLoadBench(options, &results, &error)) {
    err << "tolba-sandbox: " << error << "\n";
    return 1;
  }
  out << "clients " << options.clients << ", password hash iterations " << options.passwordIterations << ", "
      << std::thread::hardware_concurrency() << " CPUs\n";
  int failures = 0;
  for (const auto& r : results) {
    out << std::left << std::setw(24) << r.endpoint << std::right << std::setw(8) << r.requests << " requests "
        << std::fixed << std::setprecision(2) << std::setw(8) << r.seconds << " s " << std::setprecision(0)
        << std::setw(8) << r.requestsPerSecond() << " requests/s";
    if (r.failures > 0) out << "  (" << r.failures << " failed)";
    out << "\n";
    failures += r.failures;
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace tolba::sandbox
