// The headless web view against a loopback server: every navigation goes past
// the delegate (first request, each redirect, a meta refresh), a cancelled one
// fetches nothing, and a stopped load leaves no trace.
#include <gtest/gtest.h>

#include "support/loopback_server.h"
#include "support/ui_fixture.h"
#include "toolkit/web_view.h"

namespace tolba::platform {
namespace {

using Reply = testing::LoopbackServer::Reply;

class RecordingDelegate : public WebViewNavigationDelegate {
 public:
  struct Seen {
    NavigationType type;
    std::string url;
    friend bool operator==(const Seen&, const Seen&) = default;
  };
  void decidePolicyForNavigationAction(WebView&, const NavigationAction& action,
                                       std::function<void(NavigationActionPolicy)> decisionHandler) override {
    seen.push_back({action.type, action.request.url});
    decisionHandler(decide ? decide(action) : NavigationActionPolicy::Allow);
  }
  std::vector<Seen> seen;
  std::function<NavigationActionPolicy(const NavigationAction&)> decide;
};

void PrintTo(const RecordingDelegate::Seen& s, std::ostream* os) { *os << static_cast<int>(s.type) << " " << s.url; }

class WebViewTest : public testing::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    web_ = std::make_shared<WebView>(Rect{0, 50, 300, 250});
    delegate_ = std::make_shared<RecordingDelegate>();
    web_->setNavigationDelegate(delegate_);
  }
  bool waitLoaded() {
    return runUntil([&] { return !web_->isLoading(); });
  }
  testing::LoopbackServer server_;
  std::shared_ptr<WebView> web_;
  std::shared_ptr<RecordingDelegate> delegate_;
};

TEST_F(WebViewTest, TheDelegateSeesTheRequestAndEachRedirect) {
  server_.route("/start", Reply::redirect(302, "/middle?step=2"));
  server_.route("/middle", Reply::redirect(301, "end"));  // relative to /middle
  server_.route("/end", Reply::page("<p>the end</p>"));

  URLRequest request(server_.url("/start"));
  request.addValue("https://pay.example/", "Referer");
  web_->loadRequest(request);
  EXPECT_TRUE(web_->isLoading());
  ASSERT_TRUE(waitLoaded());

  EXPECT_EQ(delegate_->seen, (std::vector<RecordingDelegate::Seen>{
                                 {NavigationType::Request, server_.url("/start")},
                                 {NavigationType::Redirect, server_.url("/middle?step=2")},
                                 {NavigationType::Redirect, server_.url("/end")},
                             }));
  EXPECT_EQ(web_->url(), server_.url("/end"));
  EXPECT_EQ(web_->statusCode(), 200);
  EXPECT_EQ(web_->pageText(), "<p>the end</p>");
  EXPECT_FALSE(web_->lastError().has_value());
  const auto requests = server_.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].headers.at("referer"), "https://pay.example/");
  EXPECT_EQ(requests[1].target, "/middle?step=2");
}

TEST_F(WebViewTest, AMetaRefreshIsANavigationToo) {
  server_.route("/page",
                Reply::page(R"(<html><head><meta http-equiv="Refresh" content="2; URL='/next'"></head></html>)"));
  server_.route("/next", Reply::page("arrived"));
  web_->loadRequest(URLRequest(server_.url("/page")));
  ASSERT_TRUE(waitLoaded());
  EXPECT_EQ(web_->url(), server_.url("/page"));

  advance(1.9);
  EXPECT_EQ(delegate_->seen.size(), 1u);
  advance(0.1);
  ASSERT_EQ(delegate_->seen.size(), 2u);
  EXPECT_EQ(delegate_->seen[1], (RecordingDelegate::Seen{NavigationType::MetaRefresh, server_.url("/next")}));
  ASSERT_TRUE(runUntil([&] { return web_->pageText() == "arrived"; }));
  EXPECT_EQ(web_->url(), server_.url("/next"));
}

TEST_F(WebViewTest, ARefreshToAnotherApplicationIsAskedAboutButNotFetched) {
  server_.route(
      "/pay",
      Reply::page(R"(<meta http-equiv="refresh" content="0;url=weixin://wap/pay?prepayid=wx1&amp;package=2">)"));
  web_->loadRequest(URLRequest(server_.url("/pay")));
  ASSERT_TRUE(waitLoaded());
  advance(0);
  ASSERT_EQ(delegate_->seen.size(), 2u);
  EXPECT_EQ(delegate_->seen[1].url, "weixin://wap/pay?prepayid=wx1&package=2");
  EXPECT_FALSE(web_->isLoading());
  EXPECT_EQ(web_->url(), server_.url("/pay"));  // the page stays
}

TEST_F(WebViewTest, ACancelledNavigationLoadsNothing) {
  server_.route("/start", Reply::redirect(302, "/secret"));
  server_.route("/secret", Reply::page("secret"));
  server_.route("/other", Reply::page("other"));

  // The first request refused: nothing is fetched at all.
  delegate_->decide = [](const NavigationAction&) { return NavigationActionPolicy::Cancel; };
  web_->loadRequest(URLRequest(server_.url("/secret")));
  EXPECT_FALSE(web_->isLoading());
  EXPECT_TRUE(web_->pageText().empty());
  EXPECT_FALSE(web_->url().has_value());

  // A redirect refused: the first page is asked for, its target never.
  delegate_->decide = [](const NavigationAction& a) {
    return a.type == NavigationType::Redirect ? NavigationActionPolicy::Cancel : NavigationActionPolicy::Allow;
  };
  web_->loadRequest(URLRequest(server_.url("/start")));
  ASSERT_TRUE(waitLoaded());
  EXPECT_EQ(delegate_->seen.back(), (RecordingDelegate::Seen{NavigationType::Redirect, server_.url("/secret")}));
  EXPECT_TRUE(web_->pageText().empty());
  EXPECT_FALSE(web_->url().has_value());

  delegate_->decide = nullptr;
  web_->loadRequest(URLRequest(server_.url("/other")));
  ASSERT_TRUE(waitLoaded());
  EXPECT_EQ(web_->pageText(), "other");
  EXPECT_EQ(server_.count("/secret"), 0u);
  EXPECT_EQ(server_.count("/start"), 1u);
}

TEST_F(WebViewTest, StoppingDropsTheLoadAndAPendingRefresh) {
  server_.route("/slow", Reply::page("slow").untilReleased());
  server_.route("/fast", Reply::page(R"(<meta http-equiv="refresh" content="1; url=/slow">fast)"));
  web_->loadRequest(URLRequest(server_.url("/slow")));
  ASSERT_TRUE(server_.waitForRequests(1));
  web_->stopLoading();
  EXPECT_FALSE(web_->isLoading());
  server_.release();

  web_->loadRequest(URLRequest(server_.url("/fast")));
  ASSERT_TRUE(waitLoaded());
  EXPECT_EQ(web_->url(), server_.url("/fast"));
  web_->stopLoading();
  advance(2);
  EXPECT_EQ(delegate_->seen.size(), 2u);  // /slow and /fast; the refresh never came
  EXPECT_EQ(web_->url(), server_.url("/fast"));
  EXPECT_EQ(web_->pageText(), R"(<meta http-equiv="refresh" content="1; url=/slow">fast)");
}

TEST_F(WebViewTest, ResolvingAddresses) {
  const std::string base = "http://h:1/a/b/c.html?x=1#f";
  EXPECT_EQ(WebView::resolveURL(base, "https://o/p"), "https://o/p");
  EXPECT_EQ(WebView::resolveURL(base, "//o/p"), "http://o/p");
  EXPECT_EQ(WebView::resolveURL(base, "?y=2"), "http://h:1/a/b/c.html?y=2");
  EXPECT_EQ(WebView::resolveURL("http://h", "p"), "http://h/p");
  EXPECT_FALSE(WebView::metaRefreshTarget("<meta name=\"refresh\" content=\"0;url=/x\">").has_value());
  EXPECT_EQ(WebView::metaRefreshTarget("<META HTTP-EQUIV=refresh CONTENT=\"0,url=/x\">"),
            (std::pair<double, std::string>{0, "/x"}));
}

}  // namespace
}  // namespace tolba::platform
