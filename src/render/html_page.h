#pragma once
// A web page laid out and drawn by litehtml, through a document container of our
// own that draws with cairo and sets text with pango (text_engine.h). Scripts,
// images and external style sheets are not loaded: the pages the SDK shows are
// documents. A page that litehtml cannot take is shown as its plain text.

#include <memory>
#include <string>

typedef struct _cairo cairo_t;

namespace tolba::render {

class HtmlPage {
 public:
  // Parses `html` (UTF-8) from `baseUrl` and lays it out `width` points wide.
  HtmlPage(const std::string& html, const std::string& baseUrl, int width);
  ~HtmlPage();
  HtmlPage(const HtmlPage&) = delete;
  HtmlPage& operator=(const HtmlPage&) = delete;

  // Height of the laid-out page in points.
  int height() const;
  // Draws the part of the page under the `viewHeight` points from `scrollY` down,
  // at the current origin of `cr`.
  void draw(cairo_t* cr, double scrollY, double viewHeight);
  // True when litehtml laid the page out (false: the plain-text fallback).
  bool usesHtmlEngine() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tolba::render
