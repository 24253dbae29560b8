#include "net/TolbaNetTool.h"

#include <memory>
#include <utility>

#include "model/TolbaSDKGameConfig.h"
#include "net/TolbaDataFunc.h"
#include "net/http_client.h"
#include "tolba/platform/run_loop.h"
#include "tolba/platform/value.h"

namespace tolba {

void TolbaNetTool::netPostWithUrl(const std::string& path, const nlohmann::json& parameter, TolbaServerBlock block) {
  HttpClient::Request request;
  request.url = platform::describe(TolbaSDKGameConfig::getMainUrl()) + "/" + path;
  request.headers.emplace_back("Content-Type: text/html");
  request.body = TolbaDataFunc::codingJSON(parameter).value_or(std::string());

  HttpClient::shared().post(std::move(request), [block = std::move(block)](HttpClient::Outcome outcome) mutable {
    if (!outcome.ok) {
      // Nothing is called, but the block (and what it holds) is let go on the
      // main run loop, where its owner lives.
      platform::postToMain([dropped = std::move(block)] {});
      return;
    }
    auto result = TolbaDataFunc::decodingJSON(outcome.body);
    platform::postToMain([block = std::move(block), result = std::move(result)] {
      if (block) block(result, nullptr);
    });
  });
}

}  // namespace tolba
