#include "net/TolbaNetTool.h"

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

#include "model/TolbaSDKGameConfig.h"
#include "net/TolbaDataFunc.h"
#include "net/http_client.h"
#include "net/traffic_observer.h"
#include "platform/transport_policy.h"
#include "tolba/platform/log.h"
#include "tolba/platform/run_loop.h"
#include "tolba/platform/value.h"

namespace tolba {
namespace {

// The name of a reply's task in the main run loop's statistics: one lasting
// text per endpoint path, made only while the statistics are on.
const char* replyLabel(const std::string& path) {
  if (!platform::RunLoop::main().statsEnabled()) return "server reply";
  static std::mutex mutex;
  static auto* labels = new std::set<std::string, std::less<>>();
  std::lock_guard lock(mutex);
  return labels->insert("reply of " + path).first->c_str();
}

TolbaNetTool::ReplyWatcher& replyWatcher() {
  static TolbaNetTool::ReplyWatcher watcher;
  return watcher;
}

}  // namespace

void TolbaNetTool::setReplyWatcher(ReplyWatcher watcher) { replyWatcher() = std::move(watcher); }

void TolbaNetTool::netPostWithUrl(const std::string& path, const nlohmann::json& parameter, TolbaServerBlock block,
                                  TolbaFailureBlock failure) {
  HttpClient::Request request;
  request.url = platform::describe(TolbaSDKGameConfig::getMainUrl()) + "/" + path;
  request.headers.emplace_back("Content-Type: text/html");
  request.makeBody = [parameter] { return TolbaDataFunc::codingJSON(parameter).value_or(std::string()); };
  if (trafficObserved()) reportTraffic({TrafficEvent::Kind::request, path, parameter, 0, {}, {}});
  if (!platform::transport::urlAllowed(request.url, TolbaSDKGameConfig::getAllowPlainHttp())) {
    // Refused as a reply nobody can read: the player sees "接口异常" (the
    // configuration is at fault, not the network), the caller's block gets nil.
    const std::string why = platform::transport::refusal(request.url);
    platform::log("HTTP: refused to send " + path + ": " + why);
    reportTraffic({TrafficEvent::Kind::failed, path, nullptr, 0, {}, why});
    platform::postToMain([block = std::move(block), dropped = std::move(failure)] {
      if (block) block(std::nullopt, nullptr);
    });
    return;
  }

  HttpClient::shared().post(std::move(request), [path, block = std::move(block),
                                                 failure = std::move(failure)](HttpClient::Outcome outcome) mutable {
    if (!outcome.ok) {
      reportTraffic({TrafficEvent::Kind::failed, path, nullptr, 0, {}, outcome.error});
      // The block is not called, but it (and what it holds) is let go on the
      // main run loop, where its owner lives; so is the failure handler, after
      // it has run.
      platform::postToMain(
          [dropped = std::move(block), failure = std::move(failure), why = outcome.error] {
            if (failure) failure(why);
          },
          "failure of a request");
      return;
    }
    auto result = TolbaDataFunc::decodingJSON(outcome.body);
    // The event (a copy of the reply) is only made for an observer.
    std::optional<TrafficEvent> event;
    if (trafficObserved()) {
      event.emplace(TrafficEvent{TrafficEvent::Kind::reply, path, nullptr, outcome.status, {}, {}});
      if (result) {
        event->body = *result;
      } else {
        event->kind = TrafficEvent::Kind::undecodable;
        event->raw = outcome.body.substr(0, 80);
      }
    }
    const char* label = replyLabel(path);
    platform::postToMain(
        [path, block = std::move(block), dropped = std::move(failure), result = std::move(result),
         event = std::move(event)] {
          // The observer hears of the reply in the same turn as the block, just before it.
          if (event) deliverTraffic(*event);
          if (result && replyWatcher()) replyWatcher()(path, *result);
          if (block) block(result, nullptr);
        },
        label);
  });
}

}  // namespace tolba
