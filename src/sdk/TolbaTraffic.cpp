#include "tolba/TolbaTraffic.h"

#include <utility>

#include "net/traffic_observer.h"

namespace tolba {
namespace {

constexpr char kMasked[] = "***";

bool isAccountPath(const std::string& path) {
  return path == "sdkmini/login/dologin" || path == "sdkmini/login/register";
}

// Signatures and tokens are masked wherever they appear.
void maskEverywhere(nlohmann::json& value) {
  if (value.is_object()) {
    for (auto it = value.begin(); it != value.end(); ++it) {
      if (it.key() == "sign" || it.key() == "token") {
        it.value() = kMasked;
      } else {
        maskEverywhere(it.value());
      }
    }
  } else if (value.is_array()) {
    for (auto& item : value) maskEverywhere(item);
  }
}

void maskKey(nlohmann::json& body, const char* key) {
  if (body.is_object() && body.contains(key)) body[key] = kMasked;
}

TolbaTrafficEvent publicEvent(const TrafficEvent& event) {
  TolbaTrafficEvent out;
  out.path = event.path;
  out.status = event.status;
  switch (event.kind) {
    case TrafficEvent::Kind::request:
      out.kind = "request";
      out.body = maskTolbaTraffic(event.path, event.body);
      break;
    case TrafficEvent::Kind::reply:
      out.kind = "reply";
      // Replies carry the login signature under "d"; the masking of requests
      // leaves it alone, so the reply's own keys are handled here.
      out.body = event.body;
      if (isAccountPath(event.path)) maskKey(out.body, "d");
      maskEverywhere(out.body);
      break;
    case TrafficEvent::Kind::undecodable:
      out.kind = "undecodable";
      out.error = "the reply did not decode";
      break;
    case TrafficEvent::Kind::failed:
      out.kind = "failed";
      out.error = event.error;
      break;
  }
  return out;
}

}  // namespace

nlohmann::json maskTolbaTraffic(const std::string& path, const nlohmann::json& body) {
  auto masked = body;
  if (isAccountPath(path)) maskKey(masked, "b");  // the password
  if (path == "sdkmini/login/idcheck") {
    maskKey(masked, "id");
    maskKey(masked, "r");
  }
  // The sign-in carries the channel login (with its signature) as JSON text.
  if (path == "sdkstandard/login/index") maskKey(masked, "extrasparams");
  maskEverywhere(masked);
  return masked;
}

void setTolbaTrafficObserver(std::function<void(const TolbaTrafficEvent&)> observer) {
  if (!observer) {
    setTrafficObserver(nullptr);
    return;
  }
  setTrafficObserver([observer = std::move(observer)](const TrafficEvent& event) { observer(publicEvent(event)); });
}

}  // namespace tolba
