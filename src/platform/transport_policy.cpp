#include "platform/transport_policy.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <mutex>
#include <sstream>

#include "tolba/platform/app_environment.h"
#include "tolba/platform/log.h"

namespace tolba::platform::transport {
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

std::string refusal(std::string_view url) {
  if (!startsWithNoCase(url, "http://") && !startsWithNoCase(url, "https://"))
    return "only http:// and https:// are fetched";
  if (hostOfUrl(url).empty()) return "the URL names no host";
  return "plain http:// to " + hostOfUrl(url) +
         " is refused (set \"allowplainhttp\" to 1 in Tolba.plist to allow it); use https://";
}

namespace {

bool readFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (!in.good() && !in.eof()) return false;
  out = buffer.str();
  return true;
}

// Trusts the system's CAs with the extra file's after them, read once for each
// extra file named. Without an extra file (or when it cannot be read) libcurl
// uses the system's alone.
void applyCaSet(CURL* easy) {
  struct Cache {
    std::mutex mutex;
    std::string extraFile;
    std::string pem;
  };
  static auto* cache = new Cache();  // kept for the process
  const std::string extra = extraCaFile();
  if (extra.empty()) return;
  std::lock_guard lock(cache->mutex);
  if (cache->extraFile != extra) {
    cache->extraFile = extra;
    cache->pem.clear();
    std::string extraPem;
    if (!readFile(extra, extraPem)) {
      log("HTTP: the extra CA file " + extra + " cannot be read; only the system's CAs are trusted");
    } else {
      std::string systemPem;
      char* defaultFile = nullptr;
      if (curl_easy_getinfo(easy, CURLINFO_CAINFO, &defaultFile) == CURLE_OK && defaultFile != nullptr) {
        readFile(defaultFile, systemPem);
      }
      cache->pem = systemPem + "\n" + extraPem + "\n";
    }
  }
  if (cache->pem.empty()) return;
  curl_blob blob{};
  blob.data = cache->pem.data();
  blob.len = cache->pem.size();
  blob.flags = CURL_BLOB_COPY;  // libcurl keeps its own copy
  curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
}

}  // namespace

void apply(void* curlHandle, std::chrono::milliseconds connectTimeout) {
  CURL* easy = static_cast<CURL*>(curlHandle);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout.count()));
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  applyCaSet(easy);
}

}  // namespace tolba::platform::transport
