// Only a request that arrived whole, framed one way, is acted on; a client
// that sends headers without end is cut off.

#include <string>

#include "sandbox_fixture.h"

namespace tolba::sandbox::testing {
namespace {

class SandboxFramingTest : public SandboxTest {
 protected:
  void waitUntilNoConnection() const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (server_->connectionsServed() > 0 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
  }
};

TEST_F(SandboxFramingTest, AmbiguousOrTruncatedRequestsAreNeverActedOn) {
  startServer();
  const std::string body = *TolbaDataFunc::codingJSON(loginRequest("mallory", "secret"));
  const std::string head = "POST /sdkmini/login/register HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  const std::string length = "Content-Length: " + std::to_string(body.size()) + "\r\n";
  // What a proxy that framed the first request the other way would pass on.
  const std::string smuggled = head + length + "\r\n" + body;
  char chunk[16];
  std::snprintf(chunk, sizeof chunk, "%zx\r\n", body.size());
  const struct {
    const char* name;
    std::string bytes;
    const char* reply;  // how the answer starts; "" for none
  } cases[] = {
      {"two lengths", head + length + length + "\r\n" + body + smuggled, "HTTP/1.1 400"},
      {"a length that is not a number", head + "Content-Length: abc\r\n\r\n" + body, "HTTP/1.1 400"},
      {"chunked with a length",
       head + length + "Transfer-Encoding: chunked\r\n\r\n" + chunk + body + "\r\n0\r\n\r\n" + smuggled,
       "HTTP/1.1 400"},
      {"a body cut short", head + length + "\r\n" + body.substr(0, body.size() - 3), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RawClient client("127.0.0.1", server_->port());
    ASSERT_TRUE(client.send(c.bytes));
    client.finishSending();
    const std::string& received = client.readToEnd();
    EXPECT_EQ(received.rfind(c.reply, 0), 0u) << received;
    EXPECT_EQ(received.find("HTTP/1.1 200"), std::string::npos) << "the bytes after a refused request are never read";
  }
  registerAccount("mallory");  // the name is still free: no request above was acted on
}

TEST_F(SandboxFramingTest, TooManyOrEndlessHeadersAreCutOffAndTheirConnectionLetGo) {
  startServer();
  std::string many = "GET /sandbox/health HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  for (int i = 0; i < 100; ++i) many += "X-Filler-" + std::to_string(i) + ": 1\r\n";
  RawClient counted("127.0.0.1", server_->port());
  ASSERT_TRUE(counted.send(many + "\r\n"));
  EXPECT_EQ(counted.readToEnd().rfind("HTTP/1.1 431", 0), 0u) << counted.readToEnd();

  RawClient endless("127.0.0.1", server_->port());
  ASSERT_TRUE(endless.send("GET /sandbox/health HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
  const std::string line = "X-Filler: " + std::string(200, 'a') + "\r\n";
  std::size_t sent = 0;
  while (sent < (256u << 20) && endless.send(line)) sent += line.size();
  // Cut off after what the socket buffers hold, far short of the bytes sent
  // at the server.
  EXPECT_LT(sent, 64u << 20);
  EXPECT_EQ(endless.readToEnd().rfind("HTTP/1.1 4", 0), 0u) << endless.readToEnd().substr(0, 80);
  waitUntilNoConnection();
  EXPECT_EQ(server_->connectionsServed(), 0);
  EXPECT_EQ(client()->Get("/sandbox/health")->status, 200);
}

}  // namespace
}  // namespace tolba::sandbox::testing
