// Slow and idle clients cannot starve the sandbox: bounds on connections (in
// all and per client address) and a deadline for each request.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "sandbox_fixture.h"

namespace tolba::sandbox::testing {
namespace {

// A client that connects from `from` (any 127.x address is loopback on Linux)
// and sends the start of a request, never the end.
class SlowClient {
 public:
  SlowClient(const char* from, int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    connected_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                 ::connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0;
    constexpr char kStart[] = "POST /sdkmini/pay/getPayWay HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Le";
    if (connected_) connected_ = ::send(fd_, kStart, sizeof kStart - 1, MSG_NOSIGNAL) > 0;
  }
  ~SlowClient() { ::close(fd_); }
  SlowClient(const SlowClient&) = delete;
  SlowClient& operator=(const SlowClient&) = delete;

  bool connected() const { return connected_; }
  int fd() const { return fd_; }
  // Whether the server has ended the connection (a 503, an end of stream or a reset).
  bool ended() {
    char buffer[256];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) reply_.append(buffer, static_cast<std::size_t>(n));
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) || reply_.rfind("HTTP/1.1 503", 0) == 0;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  std::string reply_;
};

// How many of `clients` the server has ended, waiting until `expected` have
// been or `seconds` have passed.
int waitForEnded(std::vector<std::unique_ptr<SlowClient>>& clients, int expected, double seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  std::vector<bool> ended(clients.size(), false);
  int count = 0;
  while (count < expected && std::chrono::steady_clock::now() < until) {
    std::vector<pollfd> fds;
    for (std::size_t i = 0; i < clients.size(); ++i) {
      if (!ended[i]) fds.push_back({clients[i]->fd(), POLLIN, 0});
    }
    ::poll(fds.data(), fds.size(), 50);
    for (std::size_t i = 0; i < clients.size(); ++i) {
      if (!ended[i] && clients[i]->ended()) {
        ended[i] = true;
        ++count;
      }
    }
  }
  return count;
}

class SandboxResourcesTest : public SandboxTest {};

TEST_F(SandboxResourcesTest, ManySlowClientsFromOneAddressLeaveOthersServed) {
  options_.threads = 8;
  options_.maxConnectionsPerAddress = 4;
  options_.requestSeconds = 60;  // the bound alone must do it
  startServer();
  registerAccount("alice");

  std::vector<std::unique_ptr<SlowClient>> slow;
  for (int i = 0; i < 40; ++i) {
    slow.push_back(std::make_unique<SlowClient>("127.0.0.2", server_->port()));
    ASSERT_TRUE(slow.back()->connected()) << i;
  }
  // All but four are turned away at once, with a 503.
  EXPECT_EQ(waitForEnded(slow, 36, 10), 36);

  // Another client is answered while the four slow ones still hold their workers.
  const auto res = postRaw("sdkmini/login/dologin", *TolbaDataFunc::codingJSON(loginRequest("alice", "secret")), 3);
  ASSERT_TRUE(res) << httplib::to_string(res.error());
  EXPECT_EQ(TolbaDataFunc::decodingJSON(res->body).value_or(Json())["z"], 1);
  // The answered client's worker lets go of its connection just after the reply
  // went out; then only the four slow ones are held.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (server_->connectionsServed() > 4 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
  EXPECT_EQ(server_->connectionsServed(), 4);
}

TEST_F(SandboxResourcesTest, ARequestThatNeverCompletesIsCutAtItsDeadline) {
  options_.requestSeconds = 0.2;
  startServer();
  std::vector<std::unique_ptr<SlowClient>> slow;
  slow.push_back(std::make_unique<SlowClient>("127.0.0.1", server_->port()));
  ASSERT_TRUE(slow.back()->connected());
  EXPECT_EQ(waitForEnded(slow, 1, 10), 1);
  EXPECT_TRUE(log_->contains("no complete request within 200 ms"));
}

TEST_F(SandboxResourcesTest, ConnectionsBeyondTheTotalBoundAreRefused) {
  options_.threads = 2;
  options_.maxConnections = 4;
  options_.maxConnectionsPerAddress = 100;
  options_.requestSeconds = 60;
  startServer();
  std::vector<std::unique_ptr<SlowClient>> slow;
  for (int i = 0; i < 10; ++i) {
    slow.push_back(std::make_unique<SlowClient>("127.0.0.3", server_->port()));
    ASSERT_TRUE(slow.back()->connected());
  }
  // Two are served, two wait for a worker, six are refused.
  EXPECT_EQ(waitForEnded(slow, 6, 10), 6);
  slow.clear();
  server_->stop();  // promptly, although connections were held
}

}  // namespace
}  // namespace tolba::sandbox::testing
