// Replies on a kept-alive connection: a reply's headers wait to leave with its
// body, but never while the server itself waits for the client.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "sandbox_fixture.h"
#include "statement_cache.h"

namespace tolba::sandbox::testing {
namespace {

// What arrives on `fd` until it holds `wanted` or `seconds` pass.
std::string readUntil(int fd, const std::string& wanted, double seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  std::string got;
  while (got.find(wanted) == std::string::npos && std::chrono::steady_clock::now() < until) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    char buffer[1024];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

class SandboxConnectionTest : public SandboxTest {};

TEST_F(SandboxConnectionTest, AClientThatAsksToContinueHearsSoBeforeSendingItsBody) {
  startServer();
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<std::uint16_t>(server_->port()));
  ::inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server), 0);
  const std::string body = "not a wire body";
  const std::string head =
      "POST /sdkmini/pay/getPayWay HTTP/1.1\r\nHost: 127.0.0.1\r\nExpect: 100-continue\r\n"
      "Content-Length: " +
      std::to_string(body.size()) + "\r\n\r\n";
  ASSERT_GT(::send(fd, head.data(), head.size(), MSG_NOSIGNAL), 0);
  EXPECT_EQ(readUntil(fd, "\r\n\r\n", 10).rfind("HTTP/1.1 100", 0), 0u);
  ASSERT_GT(::send(fd, body.data(), body.size(), MSG_NOSIGNAL), 0);
  EXPECT_EQ(readUntil(fd, "HTTP/1.1 200", 10).find("HTTP/1.1 200"), 0u);
  ::close(fd);
}

TEST(StatementCacheTest, TheSameTextInUseTwiceGetsTwoStatementsAndKeepsOne) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  {
    StatementCache cache(db);
    std::string_view outerKey;
    std::string_view innerKey;
    sqlite3_stmt* outer = cache.take("SELECT ?1 + 1", &outerKey);
    sqlite3_stmt* inner = cache.take("SELECT ?1 + 1", &innerKey);
    ASSERT_NE(outer, nullptr);
    ASSERT_NE(inner, nullptr);
    EXPECT_NE(outer, inner);
    sqlite3_bind_int(outer, 1, 1);
    sqlite3_bind_int(inner, 1, 10);
    ASSERT_EQ(sqlite3_step(outer), SQLITE_ROW);
    ASSERT_EQ(sqlite3_step(inner), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(outer, 0), 2);
    EXPECT_EQ(sqlite3_column_int(inner, 0), 11);
    cache.give(innerKey, inner);
    cache.give(outerKey, outer);
    // Given back reset and unbound: the kept one runs again from the start.
    std::string_view key;
    sqlite3_stmt* again = cache.take("SELECT ?1 + 1", &key);
    EXPECT_TRUE(again == inner || again == outer);
    ASSERT_EQ(sqlite3_step(again), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_type(again, 0), SQLITE_NULL);  // NULL + 1: the old binding is gone
    cache.give(key, again);
    EXPECT_EQ(cache.take("not sql", &key), nullptr);
  }
  // Every statement was finalised: the connection closes.
  EXPECT_EQ(sqlite3_close(db), SQLITE_OK);
}

}  // namespace
}  // namespace tolba::sandbox::testing
