#include "http_exchange.h"

#include <strings.h>

namespace tolba::sandbox {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string decodeComponent(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

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

std::multimap<std::string, std::string> parseQuery(std::string_view query) {
  std::multimap<std::string, std::string> fields;
  while (!query.empty()) {
    const auto end = query.find('&');
    const std::string_view field = query.substr(0, end);
    query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    if (field.empty()) continue;
    const auto eq = field.find('=');
    fields.emplace(decodeComponent(field.substr(0, eq)),
                   eq == std::string_view::npos ? std::string() : decodeComponent(field.substr(eq + 1)));
  }
  return fields;
}

}  // namespace tolba::sandbox
