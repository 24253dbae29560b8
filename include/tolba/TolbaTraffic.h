#pragma once
// The SDK's requests and what came of them, for a game's debug console: one
// event per request sent and one per outcome, delivered on the main run loop in
// the order they happened. Credentials are masked before an event leaves the SDK
// (passwords, login signatures, tokens, identity card numbers, real names).

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "tolba/export.h"

namespace tolba {

// NOLINTNEXTLINE(bugprone-exception-escape): its implicit moves throw nothing
struct TolbaTrafficEvent {
  // "request", "reply", "undecodable" (a reply that did not decode) or "failed"
  // (no reply at all: connection, timeout, TLS).
  std::string kind;
  std::string path;     // endpoint path, e.g. "sdkmini/login/dologin"
  nlohmann::json body;  // the request or the decoded reply, masked
  long status = 0;      // HTTP status of a reply
  std::string error;    // why there was no reply
};

// Installs the one observer (an empty function removes it). Main thread.
TOLBA_API void setTolbaTrafficObserver(std::function<void(const TolbaTrafficEvent&)> observer);

// The masking applied to every event, for tools that log traffic of their own.
TOLBA_API nlohmann::json maskTolbaTraffic(const std::string& path, const nlohmann::json& body);

}  // namespace tolba
