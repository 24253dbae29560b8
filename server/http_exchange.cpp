#include "http_exchange.h"

#include <strings.h>

namespace tolba::sandbox {

std::string HttpRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (key.size() == name.size() && ::strncasecmp(key.data(), name.data(), name.size()) == 0) return value;
  }
  return {};
}

std::string HttpRequest::param(const std::string& name) const {
  const auto it = params.find(name);
  return it == params.end() ? std::string() : it->second;
}

}  // namespace tolba::sandbox
