// Pages the web view is given: laid out by the HTML engine, or shown as text
// when they cannot be (never a crash, whatever the bytes).
#include <gtest/gtest.h>

#include "render/html_page.h"
#include "support/ui_fixture.h"

namespace tolba::testing {
namespace {

class HtmlPageTest : public UiTest {};

TEST_F(HtmlPageTest, LaysOutDocumentsAndFallsBackToTextForOddPages) {
  std::string paragraphs;
  for (int i = 0; i < 30; ++i) paragraphs += "<p>一、您应妥善保管账号和密码，不得将账号出借、转让或出售给他人。</p>";
  std::string huge = "<html><head><style>";
  huge.append(1100 * 1024, 'x');
  huge += "</style></head><body><p>正文</p></body></html>";
  struct Case {
    const char* name;
    std::string html;
    bool engine;
    int minHeight;
  };
  const Case cases[] = {
      {"short", "<h1>隐私政策</h1><p>我们重视您的个人信息保护。</p>", true, 60},
      // Chinese text has no spaces: it must still wrap within the width.
      {"long", "<body>" + paragraphs + "</body>", true, 30 * 2 * 16},
      {"not UTF-8", "<p>\xff\xfe broken \xc3</p>", true, 10},
      {"unclosed", "<div><p><b>协议<i>", true, 10},
      {"too large", huge, false, 16},
  };
  for (const auto& c : cases) {
    render::HtmlPage page(c.html, "http://127.0.0.1/page.html", 300);
    EXPECT_EQ(page.usesHtmlEngine(), c.engine) << c.name;
    EXPECT_GE(page.height(), c.minHeight) << c.name;
  }
  EXPECT_TRUE(log_->contains("could not be laid out as HTML; showing its text"));
}

}  // namespace
}  // namespace tolba::testing
