// Slow and idle clients cannot starve the sandbox: bounds on connections (in
// all and per client address) and a deadline for each request.

#include <chrono>
#include <thread>
#include <vector>

#include "sandbox_fixture.h"
#include "support/tls_server.h"

namespace tolba::sandbox::testing {
namespace {

// A client that sends the start of a request, never the end.
class SlowClient : public RawClient {
 public:
  SlowClient(const char* from, int port) : RawClient(from, port) {
    sent_ = send("POST /sdkmini/pay/getPayWay HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Le");
  }
  bool connected() const { return RawClient::connected() && sent_; }

 private:
  bool sent_ = false;
};

// How many of `clients` the server has ended, waiting until `expected` have
// been or `seconds` have passed.
template <typename Client>
int waitForEnded(std::vector<std::unique_ptr<Client>>& clients, int expected, double seconds) {
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

TEST_F(SandboxResourcesTest, SlowClientsFromManyAddressesHoldNoThreadAndOthersAreAnswered) {
  options_.threads = 2;
  options_.requestSeconds = 60;
  startServer();
  registerAccount("alice");
  const std::string body = *TolbaDataFunc::codingJSON(loginRequest("alice", "secret"));
  std::vector<std::unique_ptr<RawClient>> slow;
  for (int i = 0; i < 64; ++i) {
    const std::string from = "127.0.1." + std::to_string(1 + i % 8);
    slow.push_back(std::make_unique<RawClient>(from.c_str(), server_->port()));
    // Half stop in their headers, half in their bodies.
    const std::string head = "POST /sdkmini/login/dologin HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    ASSERT_TRUE(slow.back()->send(i % 2 ? head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                                              body.substr(0, 10)
                                        : head + "X-Slow: 1"));
  }
  const auto res = postRaw("sdkmini/login/dologin", body, 3);
  ASSERT_TRUE(res) << httplib::to_string(res.error());
  EXPECT_EQ(TolbaDataFunc::decodingJSON(res->body).value_or(Json())["z"], 1);
  EXPECT_EQ(waitForEnded(slow, 1, 0), 0);
}

TEST_F(SandboxResourcesTest, OverTlsTheSameBoundsHold) {
  const auto certificate = tolba::testing::makeSelfSignedCertificate(dir_, "sandbox", "IP:127.0.0.1");
  options_.tlsCert = certificate.certificate.string();
  options_.tlsKey = certificate.privateKey.string();
  options_.maxConnectionsPerAddress = 4;
  options_.requestSeconds = 0.3;
  startServer();
  // Connections that never begin their handshake: six are closed at once, the
  // other four at their deadline.
  std::vector<std::unique_ptr<RawClient>> slow;
  for (int i = 0; i < 10; ++i) slow.push_back(std::make_unique<RawClient>("127.0.0.6", server_->port()));
  EXPECT_EQ(waitForEnded(slow, 6, 10), 6);
  EXPECT_FALSE(log_->contains("no complete request within 300 ms"));
  EXPECT_EQ(waitForEnded(slow, 10, 10), 10);
  EXPECT_TRUE(log_->contains("no complete request within 300 ms"));

  httplib::SSLClient tls("127.0.0.1", server_->port());
  tls.enable_server_certificate_verification(false);
  const auto res = tls.Get("/sandbox/health");
  ASSERT_TRUE(res) << httplib::to_string(res.error());
  EXPECT_EQ(res->status, 200);
}

}  // namespace
}  // namespace tolba::sandbox::testing
