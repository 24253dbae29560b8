#pragma once
// A window onto the SDK's traffic for debugging tools: every request the SDK
// sends and what came of it, decoded, in the order they happened. Nothing is
// observed unless an observer is installed.

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

namespace tolba {

struct TrafficEvent {
  enum class Kind {
    request,      // `body`: the request dictionary
    reply,        // `body`: the decoded reply
    undecodable,  // a reply arrived but did not decode; `raw` holds its start
    failed,       // no reply (connection, timeout, TLS); `error` says why
  };
  Kind kind = Kind::request;
  std::string path;  // endpoint path, e.g. "sdkmini/login/dologin"
  nlohmann::json body;
  long status = 0;  // HTTP status of a reply
  std::string raw;
  std::string error;
};

using TrafficObserver = std::function<void(const TrafficEvent&)>;

// Installs `observer` (an empty function removes it). It is called on the main
// run loop: for a request when it is sent, for its outcome just before the
// reply's block runs. Any thread.
void setTrafficObserver(TrafficObserver observer);

// Whether an observer is installed (so that events need building). Any thread.
bool trafficObserved();
// Hands `event` to the observer on the main run loop; nothing when none is set.
void reportTraffic(TrafficEvent event);
// Hands `event` to the observer now. Main run loop only.
void deliverTraffic(const TrafficEvent& event);

}  // namespace tolba
