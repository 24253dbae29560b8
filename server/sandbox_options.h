#pragma once
// Settings of a sandbox server, from the command line or from the code that
// embeds it.

#include <cstdint>
#include <optional>
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
  // The signing secret's file (owner-only, created on first start). Empty: beside
  // the database as "DBPATH.secret"; an in-memory database gets a fresh secret.
  std::string secretPath;
  // HTTPS when both are set.
  std::string tlsCert;
  std::string tlsKey;
  // This server's address as players reach it (e.g. "https://pay.example.com"),
  // used in the payment page addresses it hands out; empty: the listening
  // address. Never taken from a request.
  std::string publicOrigin;
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
  // Threads serving connections; each serves many (a slow client holds none).
  int threads = 32;
  // How long an idle kept-alive connection is held open.
  int keepAliveSeconds = 5;
  std::size_t bodyLimit = 1024 * 1024;
  // How long a login's session on a game stays open (renewed by the sign-in).
  std::int64_t sessionSeconds = 24 * 3600;

  // Slow or idle clients: a connection that sends and reads nothing for the
  // longest of these and the keep-alive time is closed; a request must
  // arrive in full (and its reply leave) within `requestSeconds` of the
  // connection opening or of the previous reply; at most `maxConnections` are
  // served or queued at once, at most `maxConnectionsPerAddress` from one client
  // address. Connections beyond the bounds are closed at once. A request's
  // headers are bounded in count and bytes.
  int readTimeoutSeconds = 5;
  int writeTimeoutSeconds = 5;
  double requestSeconds = 10;
  int maxConnections = 4096;
  int maxConnectionsPerAddress = 16;

  // The admin endpoints (/sandbox/admin/...) answer loopback clients, and others
  // that send this token ("Authorization: Bearer TOKEN"); empty: loopback only.
  std::string adminToken;

  // Payment callbacks to the games' servers: the wait after the first failed
  // attempt (doubling after each further one, up to the longest), and the time-out
  // of one attempt.
  std::int64_t callbackBaseDelayMs = 5000;
  std::int64_t callbackLongestDelayMs = 3600 * 1000;
  int callbackTimeoutSeconds = 10;
  // The minors' rules (play-time window, spending caps) and the real-name
  // requirement of the sign-in; `allowUnverified` lets players without a
  // real-name record sign in all the same (as adults of unknown age).
  bool minorRules = true;
  bool allowUnverified = false;
  // The server's clock starts at this moment (seconds since 1970) and runs on;
  // unset: the wall clock.
  std::optional<std::int64_t> clockStart;
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
