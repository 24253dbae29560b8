#pragma once
// Faults that tests ask the sandbox to play on purpose: for one endpoint path
// (or "*" for every endpoint) and the next N requests, delay the reply, answer
// 500 with an empty or a valid body, send garbage, close the connection, or send
// a reply whose base64 carries CR LF breaks, or refuse the request (a
// well-formed refusal in the endpoint's own status and message keys, for the
// flows that need a server that says no), trickle a reply one byte at a time
// for ever (one byte every SECONDS, 0.05 by default), or stream a reply larger
// than any client accepts.

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tolba::sandbox {

enum class FaultMode { Delay, Status500Empty, Status500Valid, Garbage, Close, LineBreaks, Refuse, Trickle, Oversized };

struct FaultRule {
  std::string path;  // endpoint path without leading "/", or "*"
  FaultMode mode = FaultMode::Delay;
  int count = 1;        // requests still to be hit
  double seconds = 0;   // for Delay; for Trickle the time between bytes
  std::string message;  // for Refuse; empty gives a default text
};

const char* faultModeName(FaultMode mode);
std::optional<FaultMode> parseFaultMode(const std::string& name);

// "PATH,MODE,COUNT[,SECONDS]" (for refuse: "PATH,refuse,COUNT[,MESSAGE]"), as
// given to `serve --fault`.
std::optional<FaultRule> parseFaultFlag(const std::string& flag, std::string* error);
// {"path": ..., "mode": ..., "count": N, "seconds": S, "message": M}, as posted
// to the admin endpoint.
std::optional<FaultRule> parseFaultJson(const nlohmann::json& body, std::string* error);
nlohmann::json faultToJson(const FaultRule& rule);

class FaultInjector {
 public:
  void add(FaultRule rule);
  void clear();
  std::vector<FaultRule> rules() const;
  // The first rule for `path` (exact rules before "*"), counted down by one;
  // nullopt when no fault is pending.
  std::optional<FaultRule> take(const std::string& path);

 private:
  mutable std::mutex mutex_;
  std::vector<FaultRule> rules_;
};

}  // namespace tolba::sandbox
