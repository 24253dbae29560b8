// Fuzz target of the sandbox server's request handling: a hostile client's
// method, path, query, headers and body, answered without a socket. The server
// must answer every request with a status and never crash.
//
// Input: one byte choosing the method (low two bits: GET, POST, DELETE, PUT) and
// whether the body is JSON to be sent in the wire format (bit 7), then the
// request target ("/path?query") up to a line feed, then header lines
// ("Name: value") up to an empty line, then the body.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "net/TolbaDataFunc.h"
#include "sandbox_server.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolba;
  fuzz::silenceLog();
  static sandbox::SandboxServer* server = [] {
    sandbox::SandboxOptions options;
    options.dbPath = ":memory:";
    options.logRequests = false;
    options.passwordIterations = 1;
    auto* s = new sandbox::SandboxServer(options);  // kept for the process
    std::string error;
    fuzz::check(s->openWithoutServing(&error));
    s->addAccount("fuzzer", "password", 100000);
    return s;
  }();
  if (size == 0) return 0;

  static const char* const kMethods[] = {"GET", "POST", "DELETE", "PUT"};
  const std::string method = kMethods[data[0] & 3];
  const bool jsonBody = (data[0] & 0x80) != 0;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);

  auto line = [&rest] {
    const auto end = rest.find('\n');
    std::string_view text = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    return std::string(text);
  };
  const std::string target = line();
  std::vector<std::pair<std::string, std::string>> headers;
  while (!rest.empty()) {
    const std::string header = line();
    if (header.empty()) break;
    const auto colon = header.find(':');
    std::string value = colon == std::string::npos ? std::string() : header.substr(colon + 1);
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    headers.emplace_back(header.substr(0, colon), value);
  }
  std::string body(rest);
  if (jsonBody) {
    const auto parsed = nlohmann::json::parse(body, nullptr, false);
    if (!parsed.is_discarded()) body = TolbaDataFunc::codingJSON(parsed).value_or(body);
  }

  const auto answer = server->answer(method, target, headers, body, (data[0] & 0x40) ? "10.1.2.3" : "127.0.0.1");
  fuzz::check(answer.status >= 100 && answer.status < 600);
  // Faults a request installed through the admin endpoint end with it.
  server->faults().clear();
  return 0;
}
