#pragma once
// One HTTP request as the sandbox's routes see it, and the reply they make:
// the same whether it came over a socket or straight from code (fuzzing).

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tolba::sandbox {

struct HttpRequest {
  std::string method;
  std::string path;                                          // without the query
  std::map<std::string, std::string> params;                 // the query's fields, decoded (the first of a name)
  std::vector<std::pair<std::string, std::string>> headers;  // as received
  std::string body;
  std::string remoteAddress;

  // The first header of that name (any case), or "".
  std::string header(std::string_view name) const;
  // The first query field of that name, or "".
  std::string param(const std::string& name) const;
};

struct HttpResponse {
  // How the body goes out.
  enum class Body {
    Whole,      // `body` at once
    CutShort,   // a promised body that never comes: the connection ends instead
    Trickle,    // one byte every `trickleSeconds`, until the client gives up
    Oversized,  // filler far past any client's size bound
  };

  int status = 200;
  std::string contentType;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  Body kind = Body::Whole;
  double trickleSeconds = 0.05;
  bool closeConnection = false;
  // Slow on purpose (an injected fault): the request's deadline is lifted.
  bool slowOnPurpose = false;
  // When set, the reply is made only after `waitSeconds` (cut short when the
  // server stops): `then` fills it in.
  double waitSeconds = 0;
  std::function<void(HttpResponse&)> then;
};

}  // namespace tolba::sandbox
