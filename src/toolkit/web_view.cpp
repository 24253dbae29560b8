#include "toolkit/web_view.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <mutex>

#include "platform/transport_policy.h"
#include "tolba/platform/log.h"
#include "tolba/platform/run_loop.h"
#include "tolba/platform/serial_queue.h"
#include "toolkit/display.h"

namespace tolba::platform {
namespace {

// Redirects and refreshes followed within one load before it is given up.
constexpr int kMaxHops = 20;
constexpr std::size_t kMaxBody = transport::kMaxPageBytes;

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// The scheme of an absolute address ("https", "weixin"), lower-cased, or "".
std::string schemeOf(const std::string& url) {
  std::size_t i = 0;
  if (url.empty() || !std::isalpha(static_cast<unsigned char>(url[0]))) return {};
  while (i < url.size() &&
         (std::isalnum(static_cast<unsigned char>(url[i])) || url[i] == '+' || url[i] == '-' || url[i] == '.')) {
    ++i;
  }
  return (i < url.size() && url[i] == ':') ? lower(url.substr(0, i)) : std::string();
}

SerialQueue& fetchQueue() {
  static auto* queue = new SerialQueue("web view pages");  // kept for the process
  return *queue;
}

void ensureCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

struct WebView::FetchResult {
  long status = 0;
  std::string body;
  std::optional<std::string> location;
  std::optional<std::string> error;
};

struct WebView::FetchControl {
  std::atomic<bool> cancelled{false};
};

void URLRequest::addValue(const std::string& value, const std::string& field) {
  for (auto& [name, existing] : headers) {
    if (lower(name) == lower(field)) {
      existing += ", " + value;
      return;
    }
  }
  headers.emplace_back(field, value);
}

std::optional<std::string> URLRequest::valueForHTTPHeaderField(const std::string& field) const {
  for (const auto& [name, value] : headers) {
    if (lower(name) == lower(field)) return value;
  }
  return std::nullopt;
}

WebView::WebView(Rect frame) : View(frame) {}

WebView::~WebView() {
  if (inFlight_) inFlight_->cancelled = true;
  RunLoop::main().cancelPerform(this);
}

void WebView::setContentOffset(Point offset) {
  const double maxY = std::max(0.0, contentSize_.height - frame().height());
  const Point clamped{0, std::clamp(offset.y, 0.0, maxY)};
  if (clamped == contentOffset_) return;
  contentOffset_ = clamped;
  setNeedsDisplay();
}

void WebView::setContentSize(Size size) {
  if (size == contentSize_) return;
  contentSize_ = size;
  setContentOffset(contentOffset_);
}

void WebView::touchesBegan(const Touch& touch) {
  drag_.emplace(touch.locationInWindow, contentOffset_);
  View::touchesBegan(touch);
}

void WebView::touchesMoved(const Touch& touch) {
  if (drag_) setContentOffset({0, drag_->second.y - (touch.locationInWindow.y - drag_->first.y)});
  View::touchesMoved(touch);
}

void WebView::touchesEnded(const Touch& touch) {
  drag_.reset();
  View::touchesEnded(touch);
}

void WebView::touchesCancelled(const Touch& touch) {
  drag_.reset();
  View::touchesCancelled(touch);
}

void WebView::loadRequest(URLRequest request) {
  contentOffset_ = {};
  stopLoading();
  redirects_ = 0;
  lastError_.reset();
  loading_ = true;
  navigate(std::move(request), NavigationType::Request, generation_);
}

void WebView::stopLoading() {
  ++generation_;
  if (inFlight_) inFlight_->cancelled = true;
  inFlight_.reset();
  RunLoop::main().cancelPerform(this);
  loading_ = false;
}

void WebView::navigate(URLRequest request, NavigationType type, std::uint64_t generation) {
  if (generation != generation_) return;
  loading_ = true;
  auto delegate = delegate_.lock();
  if (!delegate) {
    decided(request, NavigationActionPolicy::Allow, generation);
    return;
  }
  auto weak = std::weak_ptr<WebView>(std::static_pointer_cast<WebView>(shared_from_this()));
  auto answered = std::make_shared<bool>(false);
  NavigationAction action{request, type};
  delegate->decidePolicyForNavigationAction(*this, action,
                                            [weak, request, generation, answered](NavigationActionPolicy policy) {
                                              if (*answered) return;
                                              *answered = true;
                                              if (auto self = weak.lock()) self->decided(request, policy, generation);
                                            });
}

void WebView::decided(const URLRequest& request, NavigationActionPolicy policy, std::uint64_t generation) {
  if (generation != generation_) return;
  if (policy == NavigationActionPolicy::Cancel) {
    finish(std::nullopt);
    return;
  }
  const auto scheme = schemeOf(request.url);
  if (scheme != "http" && scheme != "https") {
    log("WebView: not loading " + request.url + " (only http and https pages are fetched)");
    finish("unsupported URL");
    return;
  }
  if (!transport::urlAllowed(request.url, plainHttpAllowed_)) {
    log("WebView: not loading " + request.url + ": " + transport::refusal(request.url));
    finish("plain http refused");
    return;
  }
  fetch(request, generation);
}

void WebView::fetch(const URLRequest& request, std::uint64_t generation) {
  ensureCurl();
  auto control = std::make_shared<FetchControl>();
  if (inFlight_) inFlight_->cancelled = true;
  inFlight_ = control;
  auto weak = std::weak_ptr<WebView>(std::static_pointer_cast<WebView>(shared_from_this()));
  // Pages load on one worker kept for the process: starting a thread for every
  // load cost the main thread up to milliseconds. A load that is replaced is
  // cancelled at its next transfer callback, so it does not hold up the next.
  fetchQueue().async([weak, request, generation, control] {
    FetchResult result;
    CURL* curl = curl_easy_init();
    if (!curl) {
      result.error = "cannot start an HTTP client";
    } else {
      struct Sink {
        std::string* body;
        std::optional<std::string>* location;
        FetchControl* control;
      } sink{&result.body, &result.location, control.get()};
      curl_slist* headers = nullptr;
      for (const auto& [name, value] : request.headers) {
        headers = curl_slist_append(headers, (name + ": " + value).c_str());
      }
      curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
      curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
      curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);  // every redirect goes past the delegate
      transport::apply(curl);
      curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
      curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max(request.timeoutInterval, 0.001) * 1000));
      curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/5.0 (TolbaWebView)");
      curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
      curl_easy_setopt(
          curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* user) -> size_t {
            auto* s = static_cast<Sink*>(user);
            const size_t n = size * count;
            if (s->control->cancelled) return 0;
            if (s->body->size() < kMaxBody) s->body->append(data, std::min(n, kMaxBody - s->body->size()));
            return n;
          });
      curl_easy_setopt(curl, CURLOPT_HEADERDATA, &sink);
      curl_easy_setopt(
          curl, CURLOPT_HEADERFUNCTION, +[](char* data, size_t size, size_t count, void* user) -> size_t {
            auto* s = static_cast<Sink*>(user);
            const std::string line(data, size * count);
            const auto colon = line.find(':');
            if (colon != std::string::npos && lower(trim(line.substr(0, colon))) == "location") {
              *s->location = trim(line.substr(colon + 1));
            } else if (line.rfind("HTTP/", 0) == 0) {
              s->location->reset();  // a new response (after a 100 Continue)
            }
            return size * count;
          });
      curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
      curl_easy_setopt(curl, CURLOPT_XFERINFODATA, control.get());
      curl_easy_setopt(
          curl, CURLOPT_XFERINFOFUNCTION, +[](void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
            return static_cast<FetchControl*>(user)->cancelled ? 1 : 0;
          });
      const CURLcode code = curl_easy_perform(curl);
      if (code != CURLE_OK) {
        result.error = curl_easy_strerror(code);
      } else {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
      }
      curl_slist_free_all(headers);
      curl_easy_cleanup(curl);
    }
    if (control->cancelled) return;
    RunLoop::main().post([weak, request, generation, result = std::move(result)] {
      if (auto self = weak.lock()) self->fetched(request, result, generation);
    });
  });
}

void WebView::fetched(const URLRequest& request, const FetchResult& result, std::uint64_t generation) {
  if (generation != generation_) return;
  inFlight_.reset();
  if (result.error) {
    log("WebView: loading " + request.url + " failed: " + *result.error);
    finish(result.error);
    return;
  }
  if (result.status >= 300 && result.status < 400 && result.location && !result.location->empty()) {
    if (++redirects_ > kMaxHops) {
      finish("too many redirects");
      return;
    }
    URLRequest next = request;
    next.url = resolveURL(request.url, *result.location);
    navigate(std::move(next), NavigationType::Redirect, generation);
    return;
  }
  url_ = request.url;
  statusCode_ = result.status;
  pageText_ = result.body;
  setNeedsDisplay();  // a new page to show
  finish(std::nullopt);
  if (auto refresh = metaRefreshTarget(pageText_); refresh && redirects_ < kMaxHops) {
    ++redirects_;
    URLRequest next = request;
    next.url = resolveURL(request.url, refresh->second);
    auto weak = std::weak_ptr<WebView>(std::static_pointer_cast<WebView>(shared_from_this()));
    RunLoop::main().performAfter(this, "metaRefresh", Duration(refresh->first),
                                 [weak, next = std::move(next), generation] {
                                   if (auto self = weak.lock())
                                     self->navigate(next, NavigationType::MetaRefresh, generation);
                                 });
  }
}

void WebView::finish(std::optional<std::string> error) {
  loading_ = false;
  lastError_ = std::move(error);
  if (!lastError_) return;
  if (auto delegate = delegate_.lock()) {
    auto keep = weak_from_this().lock();  // the delegate may take the view off the screen
    delegate->didFailNavigation(*this, *lastError_);
  }
}

std::string WebView::resolveURL(const std::string& base, const std::string& location) {
  if (!schemeOf(location).empty()) return location;
  const std::string scheme = schemeOf(base);
  const auto authorityStart = base.find("//") == std::string::npos ? std::string::npos : base.find("//") + 2;
  if (location.rfind("//", 0) == 0) return scheme + ":" + location;
  if (authorityStart == std::string::npos) return location;
  const auto pathStart = base.find_first_of("/?#", authorityStart);
  const std::string origin = base.substr(0, pathStart);
  if (location.empty()) return base;
  if (location[0] == '/') return origin + location;
  if (location[0] == '?' || location[0] == '#') {
    const auto cut = base.find(location[0] == '?' ? "?" : "#", authorityStart);
    return base.substr(0, cut == std::string::npos ? base.find('#') : cut) + location;
  }
  std::string path = pathStart == std::string::npos ? "/" : base.substr(pathStart);
  path = path.substr(0, path.find_first_of("?#"));
  return origin + path.substr(0, path.rfind('/') + 1) + location;
}

std::optional<std::pair<double, std::string>> WebView::metaRefreshTarget(const std::string& html) {
  const std::string low = lower(html);
  // The value of attribute `name` in the tag text (quoted or bare).
  auto attribute = [](const std::string& tagLow, const std::string& tag,
                      const std::string& name) -> std::optional<std::string> {
    std::size_t pos = 0;
    while ((pos = tagLow.find(name, pos)) != std::string::npos) {
      const bool boundary = pos == 0 || std::isspace(static_cast<unsigned char>(tagLow[pos - 1]));
      std::size_t i = pos + name.size();
      while (i < tagLow.size() && std::isspace(static_cast<unsigned char>(tagLow[i]))) ++i;
      if (!boundary || i >= tagLow.size() || tagLow[i] != '=') {
        pos += name.size();
        continue;
      }
      ++i;
      while (i < tagLow.size() && std::isspace(static_cast<unsigned char>(tagLow[i]))) ++i;
      if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
        const auto end = tag.find(tag[i], i + 1);
        return tag.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
      }
      const auto end = tag.find_first_of(" \t\r\n>", i);
      return tag.substr(i, end == std::string::npos ? std::string::npos : end - i);
    }
    return std::nullopt;
  };
  std::size_t pos = 0;
  while ((pos = low.find("<meta", pos)) != std::string::npos) {
    const auto end = low.find('>', pos);
    const std::string tagLow = low.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    const std::string tag = html.substr(pos, tagLow.size());
    pos += 5;
    const auto equiv = attribute(tagLow, tag, "http-equiv");
    if (!equiv || lower(trim(*equiv)) != "refresh") continue;
    const auto content = attribute(tagLow, tag, "content");
    if (!content) continue;
    // "<seconds>; url=<address>" (the separator may also be a comma).
    const auto sep = content->find_first_of(";,");
    if (sep == std::string::npos) continue;
    const double delay = std::max(0.0, std::strtod(content->c_str(), nullptr));
    std::string rest = trim(content->substr(sep + 1));
    if (lower(rest).rfind("url", 0) == 0) {
      std::string after = trim(rest.substr(3));
      if (!after.empty() && after[0] == '=') rest = trim(after.substr(1));
    }
    if (!rest.empty() && (rest.front() == '\'' || rest.front() == '"')) {
      const auto close = rest.find(rest.front(), 1);
      rest = rest.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    for (std::size_t amp; (amp = rest.find("&amp;")) != std::string::npos;) rest.replace(amp, 5, "&");
    if (rest.empty()) continue;
    return std::make_pair(delay, rest);
  }
  return std::nullopt;
}

}  // namespace tolba::platform
