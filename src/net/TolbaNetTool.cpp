#include "net/TolbaNetTool.h"

#include <memory>
#include <utility>

#include "model/TolbaSDKGameConfig.h"
#include "net/TolbaDataFunc.h"
#include "net/http_client.h"
#include "net/plain_http_policy.h"
#include "net/traffic_observer.h"
#include "tolba/build_settings.h"
#include "tolba/platform/log.h"
#include "tolba/platform/run_loop.h"
#include "tolba/platform/value.h"

namespace tolba {

void TolbaNetTool::netPostWithUrl(const std::string& path, const nlohmann::json& parameter, TolbaServerBlock block,
                                  TolbaFailureBlock failure) {
  HttpClient::Request request;
  request.url = platform::describe(TolbaSDKGameConfig::getMainUrl()) + "/" + path;
  request.headers.emplace_back("Content-Type: text/html");
  request.body = TolbaDataFunc::codingJSON(parameter).value_or(std::string());
  reportTraffic({TrafficEvent::Kind::request, path, parameter, 0, {}, {}});
  if (!urlAllowed(request.url, build::kAllowPlainHttp)) {
    // Refused like a request that failed in transport: the block is not called.
    const std::string why = "plain http:// to " + hostOfUrl(request.url) +
                            " is allowed only for loopback hosts in this build (TOLBA_ALLOW_PLAIN_HTTP); use https://";
    platform::log("HTTP: refused to send " + path + ": " + why);
    reportTraffic({TrafficEvent::Kind::failed, path, nullptr, 0, {}, why});
    platform::postToMain([dropped = std::move(block)] {});
    return;
  }

  HttpClient::shared().post(std::move(request), [path, block = std::move(block),
                                                  failure = std::move(failure)](HttpClient::Outcome outcome) mutable {
    if (!outcome.ok) {
      reportTraffic({TrafficEvent::Kind::failed, path, nullptr, 0, {}, outcome.error});
      // The block is not called, but it (and what it holds) is let go on the
      // main run loop, where its owner lives; so is the failure handler, after
      // it has run.
      platform::postToMain([dropped = std::move(block), failure = std::move(failure), why = outcome.error] {
        if (failure) failure(why);
      });
      return;
    }
    auto result = TolbaDataFunc::decodingJSON(outcome.body);
    TrafficEvent event{TrafficEvent::Kind::reply, path, nullptr, outcome.status, {}, {}};
    if (result) {
      event.body = *result;
    } else {
      event.kind = TrafficEvent::Kind::undecodable;
      event.raw = outcome.body.substr(0, 80);
    }
    platform::postToMain([block = std::move(block), dropped = std::move(failure), result = std::move(result),
                          event = std::move(event)] {
      // The observer hears of the reply in the same turn as the block, just before it.
      deliverTraffic(event);
      if (block) block(result, nullptr);
    });
  });
}

}  // namespace tolba
