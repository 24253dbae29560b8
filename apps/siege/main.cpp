// tolba-siege: holds many slow connections open against a sandbox server on
// this machine, each from one of a set of loopback addresses (as players'
// phones would come from theirs), while it times normal requests from
// another address. Slow clients send the start of a request and then a little
// more every few seconds (a header line, or one byte of a body), never the end;
// those the server cuts off are opened again, so the count holds.
//
//   tolba-siege --url http://127.0.0.1:PORT [--clients 1000] [--addresses 250]
//               [--kind header|body] [--seconds 20] [--server-pid PID]
//
// Prints the normal requests' median and worst time, how many slow clients
// were held, and (given the server's pid) the server's resident size.

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::string url;
  int clients = 1000;
  int addresses = 250;
  bool body = false;
  double seconds = 20;
  int serverPid = 0;
};

// One slow connection.
struct Slow {
  int fd = -1;
  SSL* ssl = nullptr;
  Clock::time_point nextSend{};
  int sent = 0;
};

std::string host;
int port = 0;
bool tls = false;
SSL_CTX* context = nullptr;

bool parseUrl(const std::string& url) {
  const auto scheme = url.find("://");
  if (scheme == std::string::npos) return false;
  tls = url.compare(0, scheme, "https") == 0;
  const std::string rest = url.substr(scheme + 3);
  const auto colon = rest.rfind(':');
  if (colon == std::string::npos) return false;
  host = rest.substr(0, colon);
  port = std::atoi(rest.c_str() + colon + 1);
  return port > 0;
}

void close(Slow& s) {
  if (s.ssl) SSL_free(s.ssl);
  if (s.fd >= 0) ::close(s.fd);
  s = Slow();
}

bool write(Slow& s, const std::string& bytes) {
  if (s.ssl) return SSL_write(s.ssl, bytes.data(), static_cast<int>(bytes.size())) > 0;
  return ::send(s.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// Opens slow connection `index` from its address and sends the start of its request.
bool open(Slow& s, int index, const Options& o) {
  s.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  const int a = index % o.addresses;
  local.sin_addr.s_addr = htonl((127u << 24) | (2u << 16) | (static_cast<unsigned>(a / 250) << 8) | (a % 250 + 1));
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<std::uint16_t>(port));
  ::inet_pton(AF_INET, host.c_str(), &server.sin_addr);
  if (::bind(s.fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::connect(s.fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
    close(s);
    return false;
  }
  if (tls) {
    s.ssl = SSL_new(context);
    SSL_set_fd(s.ssl, s.fd);
    if (SSL_connect(s.ssl) != 1) {
      close(s);
      return false;
    }
  }
  std::string start = "POST /sdkmini/pay/getPayWay HTTP/1.1\r\nHost: " + host + "\r\n";
  if (o.body) start += "Content-Type: text/html\r\nContent-Length: 100000\r\n\r\nx";
  if (!write(s, start)) {
    close(s);
    return false;
  }
  s.nextSend = Clock::now() + std::chrono::seconds(2);
  return true;
}

// Whether the server has ended the connection.
bool ended(Slow& s) {
  char buffer[512];
  const ssize_t n = ::recv(s.fd, buffer, sizeof buffer, MSG_DONTWAIT | MSG_PEEK);
  return n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
}

double probe(CURL* curl) {
  curl_easy_reset(curl);
  const std::string url = (tls ? "https://" : "http://") + host + ":" + std::to_string(port) + "/sandbox/health";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_INTERFACE, "127.0.0.1");
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);  // a new player's connection each time
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 10000L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(
      curl, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t n, void*) { return size * n; });
  const auto start = Clock::now();
  const CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  if (rc != CURLE_OK || status != 200) return -1;
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long residentKb(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!v) {
      std::cerr << a << " needs a value\n";
      return 2;
    }
    ++i;
    if (a == "--url")
      o.url = v;
    else if (a == "--clients")
      o.clients = std::atoi(v);
    else if (a == "--addresses")
      o.addresses = std::max(1, std::min(std::atoi(v), 250 * 250));
    else if (a == "--kind")
      o.body = std::string(v) == "body";
    else if (a == "--seconds")
      o.seconds = std::atof(v);
    else if (a == "--server-pid")
      o.serverPid = std::atoi(v);
    else {
      std::cerr << "unknown option " << a << "\n";
      return 2;
    }
  }
  if (!parseUrl(o.url) || o.clients < 0) {
    std::cerr << "usage: tolba-siege --url http://127.0.0.1:PORT [--clients N] [--addresses N] "
                 "[--kind header|body] [--seconds S] [--server-pid PID]\n";
    return 2;
  }
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
  if (tls) context = SSL_CTX_new(TLS_client_method());
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURL* curl = curl_easy_init();

  std::vector<Slow> slow(static_cast<std::size_t>(o.clients));
  int reopened = 0;
  for (int i = 0; i < o.clients; ++i) open(slow[static_cast<std::size_t>(i)], i, o);
  std::vector<double> times;
  int failed = 0;
  std::vector<int> heldSamples;
  long rss = -1;
  const auto until = Clock::now() + std::chrono::duration<double>(o.seconds);
  auto nextProbe = Clock::now();
  while (Clock::now() < until) {
    const auto now = Clock::now();
    int held = 0;
    for (std::size_t i = 0; i < slow.size(); ++i) {
      Slow& s = slow[i];
      if (s.fd >= 0 && ended(s)) close(s);
      if (s.fd < 0) {
        if (open(s, static_cast<int>(i), o)) ++reopened;
        continue;
      }
      ++held;
      if (now >= s.nextSend) {
        if (!write(s, o.body ? std::string("x") : "X-Slow-" + std::to_string(s.sent) + ": 1\r\n")) close(s);
        ++s.sent;
        s.nextSend = now + std::chrono::seconds(2);
      }
    }
    if (now >= nextProbe) {
      heldSamples.push_back(held);
      const double ms = probe(curl);
      if (ms < 0)
        ++failed;
      else
        times.push_back(ms);
      nextProbe = Clock::now() + std::chrono::milliseconds(100);
      if (o.serverPid > 0) rss = std::max(rss, residentKb(o.serverPid));
    }
    ::poll(nullptr, 0, 10);
  }
  std::sort(times.begin(), times.end());
  const double median = times.empty() ? -1 : times[times.size() / 2];
  const double worst = times.empty() ? -1 : times.back();
  std::sort(heldSamples.begin(), heldSamples.end());
  const int held = heldSamples.empty() ? 0 : heldSamples[heldSamples.size() / 2];
  std::printf("slow clients: %d (%s) from %d addresses, %d held at once (median), %d reopened after being cut\n",
              o.clients, o.body ? "body" : "header", o.addresses, held, reopened);
  std::printf("normal requests: %zu answered, %d failed; median %.2f ms, worst %.2f ms\n", times.size(), failed, median,
              worst);
  if (o.serverPid > 0) std::printf("server resident size: %.1f MB at most\n", static_cast<double>(rss) / 1024);
  for (auto& s : slow) close(s);
  curl_easy_cleanup(curl);
  if (context) SSL_CTX_free(context);
  return failed == 0 && !times.empty() ? 0 : 1;
}
