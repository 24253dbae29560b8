#pragma once
// Starts a sandbox server on a free loopback port with a fresh database, and
// talks to it over real HTTP in the wire format, as the SDK does.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include <nlohmann/json.hpp>

#include "id_card.h"
#include "net/TolbaDataFunc.h"
#include "sandbox_server.h"
#include "support/sdk_fixture.h"

namespace tolba::sandbox::testing {

using Json = nlohmann::json;

// A valid identity card number for someone born `years` ago today.
inline std::string idCardYearsAgo(int years) {
  BirthDate d = todayInChina();
  d.year -= years;
  if (d.month == 2 && d.day == 29) d.day = 28;
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", d.year, d.month, d.day);
  const std::string first17 = std::string("110101") + date + "123";
  return first17 + idCardCheckCharacter(first17);
}

// What a channel login hands back to the game's sign-in.
struct ChannelLogin {
  std::string uid;
  std::string loginTime;
  std::string sign;
  Json reply;
};

// A plain TCP client that connects from `from` (any 127.x address is loopback
// on Linux) and sends what a test says, as a hostile or broken client would.
class RawClient {
 public:
  RawClient(const char* from, int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    connected_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                 ::connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0;
  }
  ~RawClient() { ::close(fd_); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return connected_; }
  int fd() const { return fd_; }
  bool send(std::string_view bytes) const {
    return connected_ && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Ends the sending half: the server reads the end of the stream.
  void finishSending() const { ::shutdown(fd_, SHUT_WR); }
  // Whether the server has ended the connection (a 503, an end of stream or a
  // reset), without waiting.
  bool ended() {
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) received_.append(buffer, static_cast<std::size_t>(n));
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) || received_.rfind("HTTP/1.1 503", 0) == 0;
  }
  // What arrives until the server ends the connection or `seconds` pass.
  const std::string& readToEnd(double seconds = 10) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) > 0 && ended()) break;
    }
    return received_;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  std::string received_;
};

class SandboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::mt19937_64 random{std::random_device{}()};
    dir_ = std::filesystem::temp_directory_path() / ("tolba-sandbox-test-" + std::to_string(random()));
    std::filesystem::create_directories(dir_);
    options_.dbPath = (dir_ / "sandbox.db").string();
    options_.passwordIterations = 1000;  // keeps tests quick; the format records the count
    options_.threads = 16;
    // Most tests sign in players who never gave a real name; the minors' tests
    // turn the requirement back on.
    options_.allowUnverified = true;
    log_ = std::make_unique<tolba::testing::LogCapture>();
  }

  void TearDown() override {
    if (server_) server_->stop();
    server_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  void startServer() {
    server_ = std::make_unique<SandboxServer>(options_);
    std::string error;
    ASSERT_TRUE(server_->start(&error)) << error;
  }

  void restartServer() {
    server_->stop();
    startServer();
  }

  std::unique_ptr<httplib::Client> client(double readTimeoutSeconds = 10) const {
    auto c = std::make_unique<httplib::Client>("127.0.0.1", server_->port());
    c->set_read_timeout(std::chrono::milliseconds(static_cast<long>(readTimeoutSeconds * 1000)));
    c->set_connection_timeout(std::chrono::seconds(5));
    return c;
  }

  httplib::Result postRaw(const std::string& path, const std::string& body, double readTimeoutSeconds = 10) const {
    return client(readTimeoutSeconds)->Post(("/" + path).c_str(), body, "text/html");
  }

  // Posts `request` as the SDK does and decodes the reply strictly, as the SDK
  // does; a reply that does not decode fails the test.
  Json call(const std::string& path, const Json& request) const {
    const auto res = postRaw(path, *TolbaDataFunc::codingJSON(request));
    const auto reply = res ? TolbaDataFunc::decodingJSON(res->body) : std::nullopt;
    EXPECT_TRUE(reply.has_value()) << path;
    return reply ? *reply : Json::object();
  }

  static Json loginRequest(const std::string& name, const std::string& password,
                           const std::string& device = "device-1") {
    return {{"z", name}, {"b", password}, {"c", "3"}, {"d", "1001"}, {"e", device}, {"f", "tolba"}, {"x", "1001"}};
  }

  std::string registerAccount(const std::string& name, const std::string& password = "secret") const {
    const Json reply = call("sdkmini/login/register", loginRequest(name, password));
    EXPECT_EQ(reply.value("z", -1), 1) << reply.dump();
    return reply.value("b", "");
  }

  ChannelLogin login(const std::string& name, const std::string& password = "secret",
                     const std::string& device = "device-1") const {
    const Json reply = call("sdkmini/login/dologin", loginRequest(name, password, device));
    EXPECT_EQ(reply.value("z", -1), 1) << reply.dump();
    return {reply.value("b", ""), reply.value("e", ""), reply.value("d", ""), reply};
  }

  // The login panel's result dictionary, flattened as the sign-in sends it.
  static std::string extrasOf(const ChannelLogin& l) {
    const Json result = {{"code", "0"},    {"msg", "成功"},   {"name", l.uid}, {"loginTime", l.loginTime},
                         {"sign", l.sign}, {"rzdic", l.reply}};
    return *TolbaDataFunc::dicToJson(result);
  }

  Json signInReply(const std::string& uid, const std::optional<std::string>& extras,
                   const std::string& device = "device-1") const {
    Json request = {{"username", uid}, {"imeil", device},        {"gameid", "1001"},
                    {"age", ""},       {"channelname", "tolba"}, {"os", "ios"}};
    if (extras) request["extrasparams"] = *extras;
    return call("sdkstandard/login/index", request);
  }

  // Registers, logs in and signs in; returns the aggregation user name.
  std::string signedInAccount(const std::string& name, ChannelLogin* channel,
                              const std::string& device = "device-1") const {
    registerAccount(name);
    *channel = login(name, "secret", device);
    const Json reply = signInReply(channel->uid, extrasOf(*channel), device);
    EXPECT_EQ(reply.value("a", -1), 1) << reply.dump();
    return reply.contains("c") ? reply["c"].value("username", "") : "";
  }

  static Json orderRequest(const std::string& username, const std::string& cpOrderId, const Json& amount,
                           const std::string& device = "device-1") {
    return {{"roleid", "r1"},     {"serverid", "s1"},     {"servername", "一区"}, {"rolename", "勇者"},
            {"rolelevel", "10"},  {"viplevel", "1"},      {"partyname", ""},      {"cporderid", cpOrderId},
            {"amount", amount},   {"count", "1"},         {"sign", ""},           {"imeil", device},
            {"rolebalance", "0"}, {"extrasparams", ""},   {"goodsid", "g1"},      {"goodsname", "月卡"},
            {"os", "ios"},        {"username", username}, {"gameid", "1001"},     {"channelname", "tolba"}};
  }

  std::string submitOrder(const std::string& username, const std::string& cpOrderId, const std::string& amount,
                          const std::string& device = "device-1") const {
    const Json reply = call("sdkstandard/pay/index", orderRequest(username, cpOrderId, amount, device));
    EXPECT_EQ(reply.value("a", -1), 1) << reply.dump();
    return reply.contains("c") ? reply["c"].value("orderid", "") : "";
  }

  static Json payRequest(const std::string& uid, const std::string& orderId, const Json& amount, bool coins = true,
                         const std::string& device = "device-1") {
    return {{"z", coins ? "MLb" : "wx"},
            {"p", amount},
            {"b", amount},
            {"xx", "1"},
            {"c", device},
            {"d", "1001"},
            {"e", "tolba"},
            {"f", uid},
            {"x", "r1"},
            {"y", orderId},
            {"j", "1001"},
            {"k", "月卡"},
            {"h", "s1"},
            {"l", "1月卡"},
            {"os", "ios"}};
  }

  static Json idCheckRequest(const std::string& uid, const std::string& name, const std::string& number) {
    return {{"i", uid}, {"g", "1001"}, {"id", number}, {"r", name}};
  }

  Json balance(const std::string& uid) const {
    return call("sdkmini/pay/getPayWay", {{"zz", uid}, {"z", "1001"}, {"b", "1001"}, {"bb", "tolba"}});
  }

  std::filesystem::path dir_;
  SandboxOptions options_;
  std::unique_ptr<SandboxServer> server_;
  std::unique_ptr<tolba::testing::LogCapture> log_;
};

}  // namespace tolba::sandbox::testing
