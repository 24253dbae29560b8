#pragma once
// SdkTest with a loopback server that Tolba.plist's "url" points at, plus a probe
// that records what a server block receives and when it is let go.

#include <memory>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "net/TolbaApi.h"
#include "net/http_client.h"
#include "support/loopback_server.h"
#include "support/sdk_fixture.h"

namespace tolba::testing {

// Records the calls of the blocks it hands out (on the main run loop).
class BlockProbe {
 public:
  TolbaServerBlock block() {
    auto token = std::make_shared<int>(0);
    alive_.push_back(token);
    return [this, token](const std::optional<nlohmann::json>& result, const nlohmann::json& error) {
      results.push_back(result);
      errors.push_back(error);
    };
  }
  std::size_t calls() const { return results.size(); }
  // True once every block handed out has been destroyed.
  bool released() const {
    for (const auto& w : alive_) {
      if (!w.expired()) return false;
    }
    return true;
  }

  std::vector<std::optional<nlohmann::json>> results;
  std::vector<nlohmann::json> errors;

 private:
  std::vector<std::weak_ptr<int>> alive_;
};

class LoopbackTest : public SdkTest {
 protected:
  void SetUp() override {
    SdkTest::SetUp();
    server_ = std::make_unique<LoopbackServer>();
    writeConfig(config());
  }
  void TearDown() override {
    server_.reset();  // held requests end here
    // No reply of this test may reach the next one.
    EXPECT_TRUE(waitForTransportIdle());
    SdkTest::TearDown();
  }
  virtual nlohmann::json config() { return {{"url", server_->baseUrl()}}; }

  // Runs the main loop until no request is in flight any more (every completion
  // has handed its work to the main loop), then runs that work. The network
  // thread does not wake the loop when its count drops, so it is looked at
  // every few milliseconds.
  bool waitForTransportIdle() {
    for (int i = 0; i < 400; ++i) {
      if (runUntil([] { return HttpClient::shared().inFlight() == 0; }, 0.025)) {
        drain();
        return true;
      }
    }
    return false;
  }

  std::unique_ptr<LoopbackServer> server_;
};

}  // namespace tolba::testing
