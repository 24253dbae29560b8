#pragma once
// A headless web view: it fetches pages over HTTP(S) and keeps their text, but
// draws nothing and runs no script.
//
// Before every navigation (the first request, each HTTP redirect, and the
// target of a <meta http-equiv="refresh"> tag in a loaded page) it asks its
// navigation delegate, which answers allow or cancel through a decision handler
// (at once or later). A cancelled navigation fetches nothing. Only http and https
// addresses are fetched; an allowed address of any other scheme ("weixin://...")
// ends the load without a fetch. Fetches run on a thread of their own; the
// delegate is called, and the view's state changes, on the main run loop only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/view.h"

namespace tolba::platform {

struct URLRequest {
  std::string url;
  // Extra header fields, in the order they were added.
  std::vector<std::pair<std::string, std::string>> headers;
  double timeoutInterval = 60;

  URLRequest() = default;
  explicit URLRequest(std::string u, double timeout = 60) : url(std::move(u)), timeoutInterval(timeout) {}
  // Adds a value to a header field (a second value is joined with ", ").
  void addValue(const std::string& value, const std::string& field);
  std::optional<std::string> valueForHTTPHeaderField(const std::string& field) const;
};

enum class NavigationType { Request, Redirect, MetaRefresh };

struct NavigationAction {
  URLRequest request;
  NavigationType type = NavigationType::Request;
};

// Numbered as on the phone platform.
enum class NavigationActionPolicy { Cancel = 0, Allow = 1 };

class WebView;

class WebViewNavigationDelegate {
 public:
  virtual ~WebViewNavigationDelegate() = default;
  // Must call `decisionHandler` once (later calls are ignored).
  virtual void decidePolicyForNavigationAction(WebView& webView, const NavigationAction& action,
                                               std::function<void(NavigationActionPolicy)> decisionHandler) = 0;
  // The load in progress ended without a page: the fetch failed or timed out
  // (the request's timeoutInterval), too many redirects, or an allowed address
  // that cannot be fetched. Optional.
  virtual void didFailNavigation(WebView& webView, const std::string& error) {
    (void)webView;
    (void)error;
  }
};

class WebView : public View {
 public:
  bool drawsContent() const override { return true; }
  explicit WebView(Rect frame = {});
  ~WebView() override;

  // The delegate is held weakly; without one every navigation is allowed.
  void setNavigationDelegate(std::weak_ptr<WebViewNavigationDelegate> delegate) { delegate_ = std::move(delegate); }

  // Plain http:// pages load only from this machine (a loopback host) unless
  // allowed; https:// always (the SDK's transport rules, platform/transport_policy.h).
  void setPlainHttpAllowed(bool allowed) { plainHttpAllowed_ = allowed; }

  // Starts a new load (stopping the one in progress).
  void loadRequest(URLRequest request);
  // Stops the load in progress: its fetch is abandoned, pending decisions and
  // refreshes are dropped. The page already shown stays.
  void stopLoading();

  bool isLoading() const { return loading_; }
  // The page on show: its address, HTTP status and text (body).
  const std::optional<std::string>& url() const { return url_; }
  long statusCode() const { return statusCode_; }
  const std::string& pageText() const { return pageText_; }
  // Why the last load ended without a page, if it did.
  const std::optional<std::string>& lastError() const { return lastError_; }

  // Scrolling. The page is drawn moved up by the content offset; a drag inside
  // the view scrolls it (touches still go on to the superview, so a panel hears
  // them). The offset stays within the page: 0 to contentSize's height less the
  // view's height. Whoever lays the page out (the renderer) sets contentSize; a
  // new load scrolls back to the top.
  Point contentOffset() const { return contentOffset_; }
  void setContentOffset(Point offset);
  Size contentSize() const { return contentSize_; }
  void setContentSize(Size size);
  void touchesBegan(const Touch& touch) override;
  void touchesMoved(const Touch& touch) override;
  void touchesEnded(const Touch& touch) override;
  void touchesCancelled(const Touch& touch) override;

  // Resolves `location` against `base` (absolute, "//host...", "/path" or relative).
  static std::string resolveURL(const std::string& base, const std::string& location);
  // The delay and target address of the first <meta http-equiv="refresh"> tag
  // that names an address, if any.
  static std::optional<std::pair<double, std::string>> metaRefreshTarget(const std::string& html);

 private:
  struct FetchResult;
  struct FetchControl;
  void navigate(URLRequest request, NavigationType type, std::uint64_t generation);
  void decided(const URLRequest& request, NavigationActionPolicy policy, std::uint64_t generation);
  void fetch(const URLRequest& request, std::uint64_t generation);
  void fetched(const URLRequest& request, const FetchResult& result, std::uint64_t generation);
  void finish(std::optional<std::string> error);

  std::weak_ptr<WebViewNavigationDelegate> delegate_;
  std::uint64_t generation_ = 0;  // bumped by every load and stop; stale answers are dropped
  std::shared_ptr<FetchControl> inFlight_;
  bool loading_ = false;
  bool plainHttpAllowed_ = false;
  std::optional<std::string> url_;
  long statusCode_ = 0;
  std::string pageText_;
  std::optional<std::string> lastError_;
  int redirects_ = 0;
  Point contentOffset_;
  Size contentSize_;
  std::optional<std::pair<Point, Point>> drag_;  // finger and offset where the drag began
};

}  // namespace tolba::platform
