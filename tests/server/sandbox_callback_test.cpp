// Payment callbacks to the game's server: signed, retried with back-off until
// the receiver answers "success", delivered once across a restart.

#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>

#include "callback_receiver.h"
#include "command_line.h"
#include "sandbox_fixture.h"

namespace tolba::sandbox::testing {
namespace {

constexpr char kAppSecret[] = "app-secret-of-1001";

// The game's server: the example receiver behind a loopback HTTP server, which
// answers "fail" to the first `failures` callbacks.
class GameServer {
 public:
  explicit GameServer(int failures) : receiver_(kAppSecret), failuresLeft_(failures) {
    http_.Post("/paid", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(mutex_);
      ++requests_;
      if (failuresLeft_ > 0) {
        --failuresLeft_;
        res.set_content("fail", "text/plain");
      } else {
        const auto answer = receiver_.handle(req.body);
        res.status = answer.status;
        res.set_content(answer.body, "text/plain");
        if (answer.status == 200) {
          ++successes_;
          lastFields_ = payment_callback::parseForm(req.body);
        }
      }
      changed_.notify_all();
    });
    port_ = http_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { http_.listen_after_bind(); });
    while (!http_.is_running()) std::this_thread::yield();
  }
  ~GameServer() {
    http_.stop();
    thread_.join();
  }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/paid"; }
  // Waits (bounded) until `done` holds of (requests, successes).
  bool waitFor(const std::function<bool(int, int)>& done) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return done(requests_, successes_); });
  }
  int requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  int successes() {
    std::lock_guard lock(mutex_);
    return successes_;
  }
  payment_callback::Fields lastFields() {
    std::lock_guard lock(mutex_);
    return lastFields_;
  }
  payment_callback::Receiver& receiver() { return receiver_; }

 private:
  payment_callback::Receiver receiver_;
  httplib::Server http_;
  std::thread thread_;
  int port_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  int failuresLeft_;
  int requests_ = 0;
  int successes_ = 0;
  payment_callback::Fields lastFields_;
};

class SandboxCallbackTest : public SandboxTest {
 protected:
  void setGame(const std::string& url) {
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(runCommandLine({"game", "set", "--gameid", "1001", "--notify-url", url, "--secret", kAppSecret, "--db",
                              options_.dbPath},
                             out, err),
              0)
        << err.str();
  }
  // Signs in, submits an order and pays it with coins; returns its number.
  std::string paidOrder(const std::string& name) {
    ChannelLogin l;
    const std::string username = signedInAccount(name, &l);
    const std::string orderId = submitOrder(username, "cp-" + name, "6");
    EXPECT_EQ(call("sdkmini/ttbpay/ttbnew", payRequest(l.uid, orderId, "6"))["z"], 1);
    return orderId;
  }
  std::vector<CallbackAttempt> attemptsAfterStop(const std::string& orderId, std::string* state) {
    server_->stop();
    std::string error;
    auto store = Store::open(options_.dbPath, &error);
    EXPECT_TRUE(store) << error;
    if (!store) return {};
    *state = store->callback(orderId).value_or(Callback{}).state;
    return store->callbackAttempts(orderId);
  }
  std::string ordersListing() {
    std::ostringstream out;
    std::ostringstream err;
    runCommandLine({"orders", "--db", options_.dbPath}, out, err);
    return out.str();
  }
};

TEST_F(SandboxCallbackTest, APaidOrderIsReportedOnceWithAValidSignature) {
  GameServer game(0);
  startServer();
  setGame(game.url());
  const std::string coinOrder = paidOrder("alice");
  ASSERT_TRUE(game.waitFor([](int, int successes) { return successes == 1; }));
  const auto fields = game.lastFields();
  EXPECT_EQ(fields.at("orderid"), coinOrder);
  EXPECT_EQ(fields.at("cporderid"), "cp-alice");
  EXPECT_EQ(fields.at("amount"), "6");
  EXPECT_EQ(fields.at("method"), "coin");
  EXPECT_EQ(fields.at("roleid"), "r1");
  EXPECT_TRUE(payment_callback::signatureValid(fields, kAppSecret));
  auto tampered = fields;
  tampered["amount"] = "600";
  EXPECT_FALSE(payment_callback::signatureValid(tampered, kAppSecret));

  // A WeChat payment is reported too.
  ChannelLogin l;
  const std::string username = signedInAccount("bob", &l);
  const std::string weChatOrder = submitOrder(username, "cp-bob", "6");
  const Json page = call("sdkmini/wxh5/h5pay", payRequest(l.uid, weChatOrder, 6, false));
  auto c = client();
  c->set_follow_location(false);
  const std::string ticketUrl = page.value("b", "");
  const auto redirect = c->Get(ticketUrl.substr(ticketUrl.find("/wxh5")).c_str(), {{"Referer", options_.origin}});
  ASSERT_TRUE(redirect);
  ASSERT_EQ(server_->openWeChat(redirect->get_header_value("Location")), PayResult::Paid);
  ASSERT_TRUE(game.waitFor([](int, int successes) { return successes == 2; }));
  EXPECT_EQ(game.lastFields().at("method"), "wechat");

  std::string state;
  EXPECT_EQ(attemptsAfterStop(coinOrder, &state).size(), 1u);
  EXPECT_EQ(state, "delivered");
  EXPECT_EQ(game.requests(), 2) << "each order once";
  EXPECT_EQ(game.receiver().delivered(), (std::set<std::string>{coinOrder, weChatOrder}));
  EXPECT_NE(ordersListing().find("delivered after 1 attempt"), std::string::npos) << ordersListing();
}

TEST_F(SandboxCallbackTest, AReceiverThatFailsTwiceGetsItOnTheThirdTry) {
  GameServer game(2);
  options_.callbackBaseDelayMs = 1;
  startServer();
  setGame(game.url());
  const std::string orderId = paidOrder("alice");
  ASSERT_TRUE(game.waitFor([](int, int successes) { return successes == 1; }));
  std::string state;
  const auto attempts = attemptsAfterStop(orderId, &state);
  ASSERT_EQ(attempts.size(), 3u);
  EXPECT_EQ(attempts[0].outcome, "answered \"fail\"");
  EXPECT_EQ(attempts[1].outcome, "answered \"fail\"");
  EXPECT_EQ(attempts[2].outcome, "success");
  EXPECT_EQ(state, "delivered");
  EXPECT_EQ(game.requests(), 3);
  const std::string listing = ordersListing();
  EXPECT_NE(listing.find("delivered after 3 attempts"), std::string::npos) << listing;
  EXPECT_NE(listing.find("#2"), std::string::npos) << listing;
}

TEST_F(SandboxCallbackTest, ASandboxRestartedMidRetryDeliversOnce) {
  GameServer game(1);
  options_.callbackBaseDelayMs = 3600 * 1000;  // the retry would be an hour away
  startServer();
  setGame(game.url());
  const std::string orderId = paidOrder("alice");
  ASSERT_TRUE(game.waitFor([](int requests, int) { return requests == 1; }));
  std::string state;
  ASSERT_EQ(attemptsAfterStop(orderId, &state).size(), 1u);  // the attempt in flight is recorded
  EXPECT_EQ(state, "pending");

  // A restarted sandbox retries at once.
  startServer();
  ASSERT_TRUE(game.waitFor([](int, int successes) { return successes == 1; }));
  EXPECT_EQ(attemptsAfterStop(orderId, &state).size(), 2u);
  EXPECT_EQ(state, "delivered");
  startServer();  // and a delivered callback is not sent again
  EXPECT_EQ(server_->store().dueCallbacks(std::numeric_limits<std::int64_t>::max(), 10).size(), 0u);
  EXPECT_EQ(game.requests(), 2);
  EXPECT_EQ(game.successes(), 1);
}

TEST_F(SandboxCallbackTest, GameSettingsAreCheckedAndOrdersWithoutThemQueueNothing) {
  startServer();
  const std::string orderId = paidOrder("alice");
  EXPECT_FALSE(server_->store().callback(orderId).has_value());
  std::ostringstream out;
  std::ostringstream err;
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"game", "set", "--gameid", "1001", "--notify-url", "ftp://x/", "--secret", "s"},
        std::vector<std::string>{"game", "set", "--gameid", "1001", "--notify-url", "http://x/"},
        std::vector<std::string>{"game", "list"}}) {
    EXPECT_EQ(runCommandLine(bad, out, err), 2) << bad.back();
  }
}

}  // namespace
}  // namespace tolba::sandbox::testing
