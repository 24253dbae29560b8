#include "tolba/TolbaLayer.h"

#include <cairo.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/main_thread_check.h"
#include "render/renderer.h"
#include "render/text_engine.h"
#include "tolba/platform/log.h"
#include "tolba/platform/run_loop.h"
#include "toolkit/application.h"
#include "toolkit/display.h"
#include "toolkit/screen_damage.h"

namespace tolba {
namespace {

// cairo keeps a pixel as one native-endian 32-bit word 0xAARRGGBB; the layer's
// buffers are the bytes R, G, B, A. On a little-endian machine that is a swap of
// the red and blue bytes of each word.
inline std::uint32_t argbToRgba(std::uint32_t p) {
  if constexpr (std::endian::native == std::endian::little) {
    return (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
  } else {
    return (p << 8) | (p >> 24);
  }
}

// In place; the count is a local, so that the loop is not held back by the
// stores possibly changing it (it then runs several pixels a step).
void toRgbaInPlace(std::uint32_t* row, std::size_t count) {
  for (std::size_t x = 0; x < count; ++x) row[x] = argbToRgba(row[x]);
}

void convertRow(const std::uint8_t* from, std::uint8_t* to, std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x) {
    std::uint32_t p;
    std::memcpy(&p, from + 4 * x, 4);
    p = argbToRgba(p);
    std::memcpy(to + 4 * x, &p, 4);
  }
}

struct Kept {
  std::vector<std::uint8_t> pixels;
  TolbaPixelBuffer buffer;
  bool drawn = false;
  std::vector<std::uint8_t> scratch;  // drawing surface for buffers cairo cannot draw into
  // The buffer drawn into last, at what scale, and what of it changed: a draw
  // into the same buffer at the same scale redraws only the damage.
  TolbaPixelBuffer last;
  double lastScale = 0;
  TolbaPixelRect lastDrawn;
};

Kept& kept() {
  static auto* k = new Kept();
  return *k;
}

std::int32_t pixelsFor(double points, double scale) {
  return static_cast<std::int32_t>(std::ceil(points * scale - 1e-9));
}

// Clears and draws the layer inside `rects` (every pixel when `whole`).
void paintLayer(cairo_surface_t* surface, const std::vector<platform::PixelRect>& rects, bool whole,
                platform::TimePoint at) {
  cairo_t* cr = cairo_create(surface);
  if (!whole) {
    for (const auto& r : rects) cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    cairo_clip(cr);
  }
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  const double scale = platform::Application::shared().screenScale();
  cairo_scale(cr, scale, scale);
  render::Renderer::shared().drawScreen(cr, at);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
}

// A host that sets its screen starts the fonts' warm-up (the SDK library itself
// does not link the renderer).
const bool warmUpRegistered = [] {
  platform::setFontWarmUp(&render::TextEngine::warmUp);
  return true;
}();

}  // namespace

void TolbaLayer::installTextMeasurer() {
  TOLBA_DCHECK_MAIN_THREAD("TolbaLayer");
  render::installTextMeasurer();
}

bool TolbaLayer::fontsReady() { return render::TextEngine::ready(); }

TolbaPixelRect TolbaLayer::lastDrawnRect() {
  TOLBA_DCHECK_MAIN_THREAD("TolbaLayer");
  return kept().lastDrawn;
}

bool TolbaLayer::drawInto(const TolbaPixelBuffer& buffer) {
  TOLBA_DCHECK_MAIN_THREAD("TolbaLayer");
  if (!buffer.pixels || buffer.width <= 0 || buffer.height <= 0 || buffer.stride < 4 * buffer.width) {
    platform::log("TolbaLayer: cannot draw into a buffer of " + std::to_string(buffer.width) + " x " +
                  std::to_string(buffer.height) + " pixels with a stride of " + std::to_string(buffer.stride) +
                  " bytes");
    return false;
  }
  static const bool measuring = [] {
    render::installTextMeasurer();
    return true;
  }();
  (void)measuring;

  auto& k = kept();
  const double scale = platform::Application::shared().screenScale();
  const bool same = k.last.pixels == buffer.pixels && k.last.width == buffer.width && k.last.height == buffer.height &&
                    k.last.stride == buffer.stride && k.lastScale == scale;
  // One time for the whole picture: the clock moves while it is drawn, and the
  // next draw's damage starts from where each view was drawn.
  const platform::TimePoint at = platform::RunLoop::main().now();
  const platform::DamageRegion damage = platform::screenDamage(at);
  const bool whole = !same || damage.full();
  const std::vector<platform::PixelRect> rects =
      whole ? std::vector<platform::PixelRect>{{0, 0, buffer.width, buffer.height}}
            : damage.pixels(scale, buffer.width, buffer.height);
  k.last = buffer;
  k.lastScale = scale;
  const auto box = platform::boundingRect(rects);
  k.lastDrawn = {box.x, box.y, box.width, box.height};

  const bool direct = buffer.stride % 4 == 0 && reinterpret_cast<std::uintptr_t>(buffer.pixels) % 4 == 0;
  if (rects.empty()) {
    // Changed where nothing shows: the pixels stay.
  } else if (direct) {
    // Draw in place, then turn each word's bytes around where it drew (the
    // rectangles never overlap, so no pixel is turned twice).
    cairo_surface_t* surface = cairo_image_surface_create_for_data(buffer.pixels, CAIRO_FORMAT_ARGB32, buffer.width,
                                                                   buffer.height, buffer.stride);
    paintLayer(surface, rects, whole, at);
    cairo_surface_destroy(surface);
    for (const auto& r : rects) {
      for (std::int32_t y = r.y; y < r.y + r.height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(buffer.pixels + static_cast<std::ptrdiff_t>(y) * buffer.stride);
        toRgbaInPlace(row + r.x, static_cast<std::size_t>(r.width));
      }
    }
  } else {
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, buffer.width);
    auto& scratch = k.scratch;
    scratch.resize(static_cast<std::size_t>(stride) * static_cast<std::size_t>(buffer.height));
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(scratch.data(), CAIRO_FORMAT_ARGB32, buffer.width, buffer.height, stride);
    paintLayer(surface, rects, whole, at);
    cairo_surface_destroy(surface);
    for (const auto& r : rects) {
      for (std::int32_t y = r.y; y < r.y + r.height; ++y) {
        convertRow(scratch.data() + static_cast<std::ptrdiff_t>(y) * stride + 4 * r.x,
                   buffer.pixels + static_cast<std::ptrdiff_t>(y) * buffer.stride + 4 * r.x, r.width);
      }
    }
  }
  platform::didDisplay(at);
  return true;
}

const TolbaPixelBuffer& TolbaLayer::draw() {
  TOLBA_DCHECK_MAIN_THREAD("TolbaLayer");
  auto& k = kept();
  const auto& app = platform::Application::shared();
  const auto screen = app.mainScreenBounds();
  const std::int32_t width = std::max(1, pixelsFor(screen.width(), app.screenScale()));
  const std::int32_t height = std::max(1, pixelsFor(screen.height(), app.screenScale()));
  const bool resized = k.buffer.width != width || k.buffer.height != height;
  if (resized) {
    k.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
    k.buffer = {k.pixels.data(), width, height, width * 4};
  }
  if (resized || !k.drawn || platform::needsDisplay() || platform::animationNeedsDisplay()) {
    k.drawn = drawInto(k.buffer);
  }
  return k.buffer;
}

}  // namespace tolba
