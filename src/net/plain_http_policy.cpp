#include "net/plain_http_policy.h"

#include <algorithm>
#include <cctype>

namespace tolba {
namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool isLoopbackHost(std::string_view host) {
  std::string h(host);
  std::transform(h.begin(), h.end(), h.begin(), [](unsigned char c) { return std::tolower(c); });
  if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
  if (h == "localhost" || h == "::1") return true;
  // 127.a.b.c: four decimal parts of at most three digits each.
  if (h.rfind("127.", 0) != 0) return false;
  int parts = 2;  // "127" and the part being read
  int digits = 0;
  for (std::size_t i = 4; i < h.size(); ++i) {
    if (h[i] == '.') {
      if (digits == 0) return false;
      ++parts;
      digits = 0;
    } else if (std::isdigit(static_cast<unsigned char>(h[i])) && digits < 3) {
      ++digits;
    } else {
      return false;
    }
  }
  return parts == 4 && digits > 0;
}

std::string hostOfUrl(std::string_view url) {
  const auto scheme = url.find("://");
  if (scheme == std::string_view::npos) return {};
  std::string_view rest = url.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  const auto at = rest.rfind('@');  // user information goes before the host
  if (at != std::string_view::npos) rest = rest.substr(at + 1);
  if (!rest.empty() && rest.front() == '[') {
    const auto close = rest.find(']');
    return close == std::string_view::npos ? std::string() : std::string(rest.substr(0, close + 1));
  }
  return std::string(rest.substr(0, rest.find(':')));
}

bool urlAllowed(std::string_view url, bool allowPlainHttp) {
  if (startsWithNoCase(url, "https://")) return !hostOfUrl(url).empty();
  if (!startsWithNoCase(url, "http://")) return false;
  const std::string host = hostOfUrl(url);
  return !host.empty() && (allowPlainHttp || isLoopbackHost(host));
}

}  // namespace tolba
