#pragma once
// Sends one request dictionary to one server endpoint as an HTTP POST and hands
// the decoded reply to a block on the main run loop.

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "net/TolbaApi.h"

namespace tolba {

class TolbaNetTool {
 public:
  // POSTs the wire encoding of `parameter` (an empty body when it cannot be
  // encoded) to the configured base URL + "/" + `path`, with the header
  // "Content-Type: text/html". Returns at once; any thread.
  //
  // `block` runs at most once, later, on the main run loop, never inside this
  // call: with the decoded reply, or nullopt when the reply does not decode
  // (whatever its HTTP status). When the request fails in transport (no
  // connection, the idle time without data or a reply that trickles in, TLS
  // failure, a reply over the size bound...) it is not called at all; `failure`,
  // when given, is called instead, later, on the main run loop, with the cause.
  // Both are released on the main run loop. The time-outs and the size bound
  // are settings of HttpClient::shared() (15 s and 32 MiB unless set).
  static void netPostWithUrl(const std::string& path, const nlohmann::json& parameter, TolbaServerBlock block,
                             TolbaFailureBlock failure = {});

  // Sees every decoded reply on the main run loop just before its block (the
  // SDK reads the server's time out of them). Main thread; null removes it.
  using ReplyWatcher = std::function<void(const std::string& path, const nlohmann::json& reply)>;
  static void setReplyWatcher(ReplyWatcher watcher);
};

}  // namespace tolba
