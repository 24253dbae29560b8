#include "net/http_client.h"

#include <curl/curl.h>

#include <cstdlib>

#include "tolba/platform/log.h"

namespace tolba {

struct HttpClient::Transfer {
  Request request;
  Completion done;
  Timeouts timeouts;
  std::size_t maxReplyBytes = kMaxReplyBytes;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  std::string reply;
  char errorText[CURL_ERROR_SIZE] = {};
  // Idle watchdog: the byte counts last seen and when they last moved.
  curl_off_t seenDown = 0;
  curl_off_t seenUp = 0;
  std::chrono::steady_clock::time_point lastActivity;
  // Slow-reply watchdog: from the first reply byte on, each idle time must bring
  // kMinBytesPerIdleTime bytes.
  bool replyStarted = false;
  std::chrono::steady_clock::time_point windowStart;
  curl_off_t windowStartDown = 0;
  // Why the transfer was ended from this side, if it was.
  const char* abortReason = nullptr;
  ~Transfer() {
    if (easy) curl_easy_cleanup(easy);
    if (headers) curl_slist_free_all(headers);
  }
};

// The trusted certificates when the host names an extra CA file: the system
// bundle followed by that file, handed to libcurl in memory.
namespace {

CURLM* multiOf(void* p) { return static_cast<CURLM*>(p); }

}  // namespace

// Keeps the reply up to the transfer's size bound.
std::size_t HttpClient::collectReply(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::size_t n = size * count;
  // Returning less than offered aborts the transfer (CURLE_WRITE_ERROR).
  if (t->reply.size() + n > t->maxReplyBytes) {
    t->abortReason = "the reply is larger than the size bound";
    return 0;
  }
  t->reply.append(data, n);
  return n;
}

// Ends a transfer once no byte has moved either way for the idle time, or once
// a reply that has begun brings fewer than kMinBytesPerIdleTime bytes in an idle
// time. (libcurl's own low-speed check averages over a window of several
// seconds, which would stretch the limit by up to five seconds.)
int HttpClient::watchIdle(void* user, std::int64_t, std::int64_t dlnow, std::int64_t, std::int64_t ulnow) {
  auto* t = static_cast<Transfer*>(user);
  const auto now = std::chrono::steady_clock::now();
  if (dlnow > 0 && !t->replyStarted) {
    t->replyStarted = true;
    t->windowStart = now;
    t->windowStartDown = 0;
  }
  if (t->replyStarted && now - t->windowStart >= t->timeouts.idle) {
    if (dlnow - t->windowStartDown < kMinBytesPerIdleTime) {
      t->abortReason = "the reply trickles in too slowly";
      return 1;
    }
    t->windowStart = now;
    t->windowStartDown = dlnow;
  }
  if (dlnow != t->seenDown || ulnow != t->seenUp) {
    t->seenDown = dlnow;
    t->seenUp = ulnow;
    t->lastActivity = now;
    return 0;
  }
  if (now - t->lastActivity > t->timeouts.idle) {
    t->abortReason = "no data for the idle time";
    return 1;
  }
  return 0;
}

HttpClient& HttpClient::shared() {
  static HttpClient* client = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    auto* c = new HttpClient();  // never destroyed: see header
    // Registered after libcurl (and the TLS library) set up their own exit
    // handlers, so this one runs first: the thread is gone before they clean up.
    std::atexit([] { shared().stop(); });
    return c;
  }();
  return *client;
}

HttpClient::HttpClient() : multi_(curl_multi_init()) {}

HttpClient::~HttpClient() {
  stop();
  // Transfers still queued or in flight are dropped with their completions.
  for (auto& [raw, t] : active_) curl_multi_remove_handle(multiOf(multi_), t->easy);
  active_.clear();
  queued_.clear();
  for (void* easy : idleEasy_) curl_easy_cleanup(static_cast<CURL*>(easy));
  if (multi_) curl_multi_cleanup(multiOf(multi_));
}

void HttpClient::setTimeouts(Timeouts timeouts) {
  std::lock_guard lock(mutex_);
  timeouts_ = timeouts;
}

HttpClient::Timeouts HttpClient::timeouts() const {
  std::lock_guard lock(mutex_);
  return timeouts_;
}

void HttpClient::setMaxReplyBytes(std::size_t bytes) {
  std::lock_guard lock(mutex_);
  maxReplyBytes_ = bytes;
}

std::size_t HttpClient::maxReplyBytes() const {
  std::lock_guard lock(mutex_);
  return maxReplyBytes_;
}

void HttpClient::setExchange(Exchange exchange) {
  std::lock_guard lock(mutex_);
  exchange_ = std::move(exchange);
}

void HttpClient::post(Request request, Completion done) {
  Exchange exchange;
  {
    std::lock_guard lock(mutex_);
    exchange = exchange_;
  }
  if (exchange) {
    if (request.makeBody) request.body = request.makeBody();
    auto outcome = exchange(request);
    if (done) done(std::move(outcome));
    return;
  }
  auto transfer = std::make_unique<Transfer>();
  transfer->request = std::move(request);
  transfer->done = std::move(done);
  bool first = false;
  {
    std::lock_guard lock(mutex_);
    if (stopping_.load() || multi_ == nullptr) return;
    transfer->timeouts = timeouts_;
    transfer->maxReplyBytes = maxReplyBytes_;
    // The network thread takes the whole queue when it wakes: only the first
    // request queued since it last did needs to wake it.
    first = queued_.empty();
    queued_.push_back(std::move(transfer));
    ++inFlight_;
    if (!started_) {
      started_ = true;
      thread_ = std::thread([this] { run(); });
    }
  }
  if (first) curl_multi_wakeup(multiOf(multi_));
}

void HttpClient::stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_.exchange(true)) return;
  }
  if (multi_) curl_multi_wakeup(multiOf(multi_));
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();  // exit called from a completion: the loop ends on return
    } else {
      thread_.join();
    }
  }
}

void HttpClient::startQueued() {
  std::vector<std::unique_ptr<Transfer>> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(queued_);
  }
  for (auto& owned : batch) {
    Transfer* t = owned.get();
    if (!idleEasy_.empty()) {
      t->easy = static_cast<CURL*>(idleEasy_.back());
      idleEasy_.pop_back();
    } else {
      t->easy = curl_easy_init();
    }
    if (t->easy == nullptr) {
      fail(std::move(owned), "cannot create a transfer");
      continue;
    }
    CURL* e = t->easy;
    if (t->request.makeBody) {
      t->request.body = t->request.makeBody();
      t->request.makeBody = nullptr;
    }
    for (const auto& h : t->request.headers) t->headers = curl_slist_append(t->headers, h.c_str());
    // No "Expect: 100-continue" round trip before larger bodies.
    t->headers = curl_slist_append(t->headers, "Expect:");
    curl_easy_setopt(e, CURLOPT_URL, t->request.url.c_str());
    platform::transport::apply(e, t->timeouts.connect);
    curl_easy_setopt(e, CURLOPT_POST, 1L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t->request.body.size()));
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, t->request.body.data());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headers);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, collectReply);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->errorText);
    t->lastActivity = std::chrono::steady_clock::now();
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &HttpClient::watchIdle);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, t);
    curl_easy_setopt(e, CURLOPT_PRIVATE, t);
    if (curl_multi_add_handle(multiOf(multi_), e) != CURLM_OK) {
      fail(std::move(owned), "cannot start a transfer");
      continue;
    }
    active_.emplace(t, std::move(owned));
  }
}

void HttpClient::fail(std::unique_ptr<Transfer> t, const char* why) {
  auto done = std::move(t->done);
  t.reset();
  Outcome outcome;
  outcome.error = why;
  if (done && !stopping_.load()) done(std::move(outcome));
  --inFlight_;
}

void HttpClient::finish(Transfer* raw, int code) {
  const auto it = active_.find(raw);
  if (it == active_.end()) return;
  std::unique_ptr<Transfer> t = std::move(it->second);
  active_.erase(it);
  curl_multi_remove_handle(multiOf(multi_), t->easy);
  Outcome outcome;
  outcome.ok = code == CURLE_OK;
  if (outcome.ok) {
    curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &outcome.status);
    outcome.body = std::move(t->reply);
  } else if (t->abortReason != nullptr) {
    outcome.error = t->abortReason;
  } else {
    outcome.error = t->errorText[0] != '\0' ? std::string(t->errorText)
                                            : std::string(curl_easy_strerror(static_cast<CURLcode>(code)));
  }
  auto done = std::move(t->done);
  // The handle goes back to the idle ones, with its options cleared.
  constexpr std::size_t kIdleEasyKept = 16;
  if (idleEasy_.size() < kIdleEasyKept) {
    curl_easy_reset(t->easy);
    idleEasy_.push_back(t->easy);
    t->easy = nullptr;
  }
  t.reset();
  if (done && !stopping_.load()) done(std::move(outcome));
  --inFlight_;
}

void HttpClient::run() {
  CURLM* multi = multiOf(multi_);
  while (!stopping_.load()) {
    startQueued();
    int running = 0;
    curl_multi_perform(multi, &running);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
      if (msg->msg != CURLMSG_DONE) continue;
      Transfer* t = nullptr;
      curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &t);
      const int code = msg->data.result;
      if (t != nullptr) finish(t, code);
      if (stopping_.load()) return;
    }
    // While transfers run, wake often enough for the idle watchdog to be exact
    // to a tenth of a second; otherwise sleep until a request is posted.
    curl_multi_poll(multi, nullptr, 0, active_.empty() ? 60000 : 100, nullptr);
  }
  // Stopping: transfers in flight are abandoned where they are (the process is
  // ending); their completions never run.
}

}  // namespace tolba
