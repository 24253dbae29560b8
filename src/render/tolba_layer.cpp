#include "tolba/TolbaLayer.h"

#include <cairo.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "render/renderer.h"
#include "render/text_engine.h"
#include "tolba/platform/log.h"
#include "toolkit/application.h"
#include "toolkit/display.h"

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
};

Kept& kept() {
  static auto* k = new Kept();
  return *k;
}

std::int32_t pixelsFor(double points, double scale) {
  return static_cast<std::int32_t>(std::ceil(points * scale - 1e-9));
}

void paintLayer(cairo_surface_t* surface) {
  cairo_t* cr = cairo_create(surface);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  const double scale = platform::Application::shared().screenScale();
  cairo_scale(cr, scale, scale);
  render::Renderer::shared().drawScreen(cr);
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

void TolbaLayer::installTextMeasurer() { render::installTextMeasurer(); }

bool TolbaLayer::fontsReady() { return render::TextEngine::ready(); }

bool TolbaLayer::drawInto(const TolbaPixelBuffer& buffer) {
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

  const bool direct = buffer.stride % 4 == 0 && reinterpret_cast<std::uintptr_t>(buffer.pixels) % 4 == 0;
  if (direct) {
    // Draw in place, then turn each word's bytes around.
    cairo_surface_t* surface = cairo_image_surface_create_for_data(buffer.pixels, CAIRO_FORMAT_ARGB32, buffer.width,
                                                                   buffer.height, buffer.stride);
    paintLayer(surface);
    cairo_surface_destroy(surface);
    for (std::int32_t y = 0; y < buffer.height; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(buffer.pixels + static_cast<std::ptrdiff_t>(y) * buffer.stride);
      for (std::int32_t x = 0; x < buffer.width; ++x) row[x] = argbToRgba(row[x]);
    }
  } else {
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, buffer.width);
    auto& scratch = kept().scratch;
    scratch.resize(static_cast<std::size_t>(stride) * static_cast<std::size_t>(buffer.height));
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(scratch.data(), CAIRO_FORMAT_ARGB32, buffer.width, buffer.height, stride);
    paintLayer(surface);
    cairo_surface_destroy(surface);
    for (std::int32_t y = 0; y < buffer.height; ++y) {
      convertRow(scratch.data() + static_cast<std::ptrdiff_t>(y) * stride,
                 buffer.pixels + static_cast<std::ptrdiff_t>(y) * buffer.stride, buffer.width);
    }
  }
  platform::didDisplay();
  return true;
}

const TolbaPixelBuffer& TolbaLayer::draw() {
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
