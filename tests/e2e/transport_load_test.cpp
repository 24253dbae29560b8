// Load: a thousand requests in flight at once through the transport, against a
// sandbox server on loopback. Every block runs exactly once, on the main run
// loop's thread. (The thread-sanitizer build runs this too, and is what shows
// that the hand-over from the network thread is race-free.)
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "net/TolbaNetTool.h"
#include "net/http_client.h"
#include "net/traffic_observer.h"
#include "sandbox_server.h"
#include "support/sdk_fixture.h"

namespace tolba {
namespace {

struct TransportLoadTest : testing::SdkTest {};

TEST_F(TransportLoadTest, AThousandRequestsInFlightEachCallTheirBlockOnceOnTheMainThread) {
  constexpr int kRequests = 1000;
  sandbox::SandboxOptions options;
  options.dbPath = ":memory:";
  options.logRequests = false;
  // A worker keeps its connection for the keep-alive second after its reply:
  // enough workers that a thousand connections are served well inside the
  // transport's time-outs.
  options.threads = 256;
  options.keepAliveSeconds = 1;
  // Every connection comes from this one loopback client.
  options.maxConnections = 2048;
  options.maxConnectionsPerAddress = 2048;
  sandbox::SandboxServer server(options);
  std::string error;
  ASSERT_TRUE(server.start(&error)) << error;
  writeConfig({{"url", server.baseUrl()}, {"gameid", "1001"}});

  // Transport failures call no block; the observer tells why, if any.
  std::vector<std::string> failures;
  setTrafficObserver([&](const TrafficEvent& event) {
    if (event.kind == TrafficEvent::Kind::failed) failures.push_back(event.error);
  });
  const auto mainThread = std::this_thread::get_id();
  std::vector<int> calls(kRequests, 0);
  int offMain = 0, unreadable = 0, done = 0;
  for (int i = 0; i < kRequests; ++i) {
    // The balance endpoint: it answers at once, here with a refusal (no such player).
    TolbaNetTool::netPostWithUrl("sdkmini/pay/getPayWay", {{"uid", std::to_string(i)}, {"gameid", "1001"}},
                                 [&, i](const std::optional<nlohmann::json>& result, const nlohmann::json&) {
                                   ++calls[i];
                                   ++done;
                                   if (std::this_thread::get_id() != mainThread) ++offMain;
                                   if (!result) ++unreadable;
                                 });
  }
  EXPECT_EQ(done, 0);  // never inside the call
  EXPECT_TRUE(runUntil([&] { return done >= kRequests; }, 90)) << done << " of " << kRequests << " answered";
  EXPECT_TRUE(runUntil([] { return HttpClient::shared().inFlight() == 0; }, 10));
  drain();
  setTrafficObserver(nullptr);
  server.stop();
  EXPECT_TRUE(failures.empty()) << failures.size() << " failed in transport, the first: " << failures.front();

  EXPECT_EQ(done, kRequests);
  for (int i = 0; i < kRequests; ++i) ASSERT_EQ(calls[i], 1) << "request " << i;
  EXPECT_EQ(offMain, 0);
  EXPECT_EQ(unreadable, 0);
}

}  // namespace
}  // namespace tolba
