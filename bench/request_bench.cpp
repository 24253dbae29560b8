// What the SDK adds to a request over plain libcurl, against the sandbox server
// on loopback, in one run:
//  - sequential: one balance request through the SDK (encode, POST on the
//    network thread, decode, the block on the main run loop) against the same
//    POST with one reused libcurl easy handle; medians of many requests;
//  - concurrent: 200 requests through the SDK against 200 on a plain curl multi
//    handle; median total time of several rounds.
// Rounds of the two alternate, so that load from other jobs on the machine
// falls on both alike. The way a game feels a request: the main thread's CPU
// per sequential request (the call, and the reply delivered on the run loop),
// and the wall-clock latency the SDK adds over plain libcurl.
#include <curl/curl.h>

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "budget.h"
#include "net/TolbaDataFunc.h"
#include "net/TolbaNetTool.h"
#include "net/http_client.h"
#include "sandbox_server.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/log.h"
#include "tolba/platform/property_list.h"
#include "tolba/platform/run_loop.h"

namespace fs = std::filesystem;
using namespace tolba;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char kPath[] = "sdkmini/pay/getPayWay";
constexpr int kSequentialRounds = 20;
constexpr int kPerRound = 100;
constexpr int kConcurrent = 200;
constexpr int kConcurrentRounds = 7;

double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// CPU time of the calling thread, in microseconds.
double threadCpuMicros() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Time the process's threads have spent runnable but waiting for a CPU, in
// microseconds (the scheduler's run-queue delay, summed over every thread).
double runQueueWaitMicros() {
  double total = 0;
  std::error_code ec;
  for (const auto& task : fs::directory_iterator("/proc/self/task", ec)) {
    std::ifstream in(task.path() / "schedstat");
    double running = 0, waiting = 0;
    if (in >> running >> waiting) total += waiting / 1000.0;
  }
  return total;
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// The same POST the SDK makes, on an easy handle of its own.
void setUpEasy(CURL* easy, const std::string& url, const std::string& body, curl_slist* headers, std::string* reply) {
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_POST, 1L);
  curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, reply);
}

struct Plain {
  std::string url;
  std::string body;
  curl_slist* headers = nullptr;
  CURL* easy = nullptr;
  std::string reply;
  CURLM* multi = nullptr;
  std::vector<CURL*> many;
  std::vector<std::string> replies;

  Plain(std::string u, std::string b) : url(std::move(u)), body(std::move(b)) {
    headers = curl_slist_append(headers, "Content-Type: text/html");
    headers = curl_slist_append(headers, "Expect:");
    easy = curl_easy_init();
    setUpEasy(easy, url, body, headers, &reply);
    multi = curl_multi_init();
    replies.resize(kConcurrent);
    for (int i = 0; i < kConcurrent; ++i) {
      CURL* e = curl_easy_init();
      setUpEasy(e, url, body, headers, &replies[static_cast<std::size_t>(i)]);
      many.push_back(e);
    }
  }
  ~Plain() {
    for (CURL* e : many) curl_easy_cleanup(e);
    curl_multi_cleanup(multi);
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
  }

  bool one() {
    reply.clear();
    return curl_easy_perform(easy) == CURLE_OK && !reply.empty();
  }

  bool concurrent() {
    for (std::size_t i = 0; i < many.size(); ++i) {
      replies[i].clear();
      curl_multi_add_handle(multi, many[i]);
    }
    int running = 1;
    bool ok = true;
    while (running > 0) {
      curl_multi_perform(multi, &running);
      int left = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
        if (msg->msg == CURLMSG_DONE && msg->data.result != CURLE_OK) ok = false;
      }
      if (running > 0) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    for (CURL* e : many) curl_multi_remove_handle(multi, e);
    return ok;
  }
};

// The SDK's HTTP client alone: the same POST on the network thread, the
// caller woken when it ends (no codec, no run loop). Shows where the SDK's
// difference lies.
struct Client {
  std::string url, body;
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
  bool one() {
    HttpClient::Request request{url, {"Content-Type: text/html"}, body};
    {
      std::lock_guard lock(mutex);
      done = false;
    }
    bool ok = false;
    HttpClient::shared().post(std::move(request), [&](HttpClient::Outcome outcome) {
      std::lock_guard lock(mutex);
      ok = outcome.ok;
      done = true;
      cv.notify_one();
    });
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return done; });
    return ok;
  }
};

struct Sdk {
  nlohmann::json parameter;
  int done = 0;
  int decoded = 0;

  void post() {
    TolbaNetTool::netPostWithUrl(kPath, parameter,
                                 [this](const std::optional<nlohmann::json>& result, const nlohmann::json&) {
                                   ++done;
                                   if (result) ++decoded;
                                 });
  }

  bool one() {
    done = 0;
    post();
    return platform::RunLoop::main().runUntil([this] { return done == 1; }, platform::Duration(15)) && decoded > 0;
  }

  // As a game's frames meet a request: the main thread's CPU for the call,
  // and for the tick that delivers the reply; between ticks the thread
  // sleeps as between frames (the waiting is not the request's cost).
  bool framed(double* cpuMicros, double* callMicros) {
    done = 0;
    const double c0 = threadCpuMicros();
    post();
    double cpu = threadCpuMicros() - c0;
    *callMicros = cpu;
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (done == 0 && Clock::now() < deadline) {
      const double t0 = threadCpuMicros();
      platform::RunLoop::main().tick();
      if (done != 0) cpu += threadCpuMicros() - t0;
      if (done == 0) usleep(50);
    }
    *cpuMicros = cpu;
    return done == 1 && decoded > 0;
  }

  bool concurrent() {
    done = 0;
    for (int i = 0; i < kConcurrent; ++i) post();
    return platform::RunLoop::main().runUntil([this] { return done == kConcurrent; }, platform::Duration(60));
  }
};

}  // namespace

int main() {
  platform::setLogSink([](const std::string&) {});
  platform::setLogEnabled(false);  // as a shipped game runs
  const fs::path root = fs::temp_directory_path() / ("tolba-request-bench-" + std::to_string(::getpid()));
  fs::create_directories(root / "bundle");
  fs::create_directories(root / "data");

  sandbox::SandboxOptions options;
  options.dbPath = ":memory:";
  options.logRequests = false;
  options.passwordIterations = 1000;
  options.threads = 2 * kConcurrent + 16;                   // one per kept-alive connection, of both clients
  options.maxConnectionsPerAddress = 2 * kConcurrent + 16;  // both clients connect from 127.0.0.1
  sandbox::SandboxServer server(options);
  std::string error;
  if (!server.start(&error)) {
    std::fprintf(stderr, "request bench: the sandbox server did not start: %s\n", error.c_str());
    return 1;
  }
  const auto uid = server.addAccount("benchplayer", "bench-password", 500);
  {
    std::ofstream plist(root / "bundle" / "Tolba.plist");
    plist << platform::writeXmlPropertyList(
        {{"gameid", "1001"}, {"channel", "cps001"}, {"url", server.baseUrl()}, {"islandscape", "0"}});
  }
  platform::setBundleDirectory((root / "bundle").string());
  platform::setDataDirectory((root / "data").string());

  Sdk sdk;
  sdk.parameter = {{"zz", uid.value_or(0)}, {"z", "1001"}, {"b", "1001"}, {"bb", "cps001"}};
  Plain plain(server.baseUrl() + "/" + kPath, TolbaDataFunc::codingJSON(sdk.parameter).value_or(""));

  bool ok = true;
  for (int i = 0; i < 200; ++i) ok = sdk.one() && plain.one() && ok;  // warm up: connections, allocator, caches
  Client client{plain.url, plain.body};
  std::vector<double> sdkTimes, plainTimes, clientTimes;
  double sdkWait = 0, plainWait = 0;
  for (int round = 0; round < kSequentialRounds; ++round) {
    const double w0 = runQueueWaitMicros();
    for (int i = 0; i < kPerRound; ++i) {
      const auto t0 = Clock::now();
      ok = sdk.one() && ok;
      sdkTimes.push_back(micros(Clock::now() - t0));
    }
    const double w1 = runQueueWaitMicros();
    for (int i = 0; i < kPerRound; ++i) {
      const auto t0 = Clock::now();
      ok = plain.one() && ok;
      plainTimes.push_back(micros(Clock::now() - t0));
    }
    const double w2 = runQueueWaitMicros();
    sdkWait += w1 - w0;
    plainWait += w2 - w1;
    for (int i = 0; i < kPerRound / 4; ++i) {
      const auto t0 = Clock::now();
      ok = client.one() && ok;
      clientTimes.push_back(micros(Clock::now() - t0));
    }
  }
  std::vector<double> mainCpus, callCpus;
  for (int i = 0; i < kSequentialRounds * kPerRound / 4; ++i) {
    double cpu = 0, call = 0;
    ok = sdk.framed(&cpu, &call) && ok;
    mainCpus.push_back(cpu);
    callCpus.push_back(call);
  }
  const double sdkMedian = median(sdkTimes);
  const double plainMedian = median(plainTimes);

  ok = sdk.concurrent() && plain.concurrent() && ok;  // opens the connections of both
  std::vector<double> sdkTotals, plainTotals;
  for (int round = 0; round < kConcurrentRounds; ++round) {
    auto t0 = Clock::now();
    ok = sdk.concurrent() && ok;
    sdkTotals.push_back(micros(Clock::now() - t0));
    t0 = Clock::now();
    ok = plain.concurrent() && ok;
    plainTotals.push_back(micros(Clock::now() - t0));
  }
  const double sdkTotal = median(sdkTotals);
  const double plainTotal = median(plainTotals);
  server.stop();
  std::error_code ec;
  fs::remove_all(root, ec);

  std::printf(
      "sequential, median of %d: SDK %.1f us, plain libcurl %.1f us (%s); the SDK's HTTP client alone %.1f us\n",
      kSequentialRounds * kPerRound, sdkMedian, plainMedian, kPath, median(clientTimes));
  std::printf("%d concurrent, median total of %d rounds: SDK %.2f ms, plain curl multi %.2f ms\n", kConcurrent,
              kConcurrentRounds, sdkTotal / 1000, plainTotal / 1000);
  std::printf(
      "waiting for a CPU (all threads, server's included), mean per sequential request: SDK %.1f us, plain %.1f us\n",
      sdkWait / (kSequentialRounds * kPerRound), plainWait / (kSequentialRounds * kPerRound));
  const double mainCpu = median(mainCpus);
  std::printf(
      "main thread's CPU per request in a game's frames (the call and the tick delivering the reply), "
      "median of %zu: %.1f us (the call alone %.1f us)\n",
      mainCpus.size(), mainCpu, median(callCpus));
  if (!ok) std::printf("some requests failed\n");
  bench::printBudget("request-main-thread-cpu", mainCpu, "us", 15, 1);
  bench::printBudget("request-added-latency", sdkMedian - plainMedian, "us", 30, 1);
  bench::printBudget("request-overhead-concurrent", sdkTotal / plainTotal, "x", 1.10);
  return ok ? 0 : 1;
}
