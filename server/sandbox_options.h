#pragma once
// Settings of a sandbox server, from the command line or from the code that
// embeds it.

#include <cstdint>
#include <string>
#include <vector>

#include "crypto.h"
#include "fault_injector.h"
#include "net/TolbaDataFunc.h"
#include "sandbox_store.h"
#include "tolba/build_settings.h"

namespace tolba::sandbox {

struct SandboxOptions {
  std::string bind = "127.0.0.1";
  int port = 0;  // 0: any free port (see SandboxServer::port())
  // ":memory:" keeps a fresh database that ends with the server.
  std::string dbPath = "sandbox.db";
  // HTTPS when both are set.
  std::string tlsCert;
  std::string tlsKey;
  // The "Referer" the WeChat payment page insists on.
  std::string origin = build::kApiOrigin;
  // The wire codec's 64-character key table.
  std::string key = std::string(TolbaDataFunc::defaultKey());
  // Coins a newly registered account starts with.
  Cents startingCoins = 100 * 100;
  // WeChat H5 payment: off entirely, on for every game, or on for the listed games.
  bool wechat = true;
  std::vector<std::string> wechatGames;
  // PBKDF2 iterations of new password hashes (each hash records its own count;
  // embedders lower it to keep registration quick).
  int passwordIterations = kDefaultPasswordIterations;
  int threads = 32;
  // How long an idle kept-alive connection is held open. Stopping the server
  // waits for such connections to time out, so embedders that stop it often
  // (tests, the demo) want this short.
  int keepAliveSeconds = 5;
  std::size_t bodyLimit = 1024 * 1024;
  bool logRequests = true;
  std::vector<FaultRule> faults;

  bool wechatEnabledFor(const std::string& gameId) const {
    if (!wechat) return false;
    if (wechatGames.empty()) return true;
    for (const auto& g : wechatGames) {
      if (g == gameId) return true;
    }
    return false;
  }
};

}  // namespace tolba::sandbox
