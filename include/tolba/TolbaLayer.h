#pragma once
// Drawing the SDK's screen layer to pixels (the renderer library, Tolba::render;
// the SDK library itself draws nothing and links no drawing library). Main thread.

#include "tolba/TolbaHost.h"
#include "tolba/export.h"

namespace tolba {

class TOLBA_API TolbaLayer {
 public:
  // Draws the layer into `buffer` at the screen's scale (cleared to
  // transparent where it draws); a buffer of another size is drawn into from
  // the top left and clipped. Into the same buffer (address, size, stride) at
  // the same scale as the last call, only what changed since is redrawn
  // (TolbaHost::dirtyRect()) and the rest is left as it was; into any other
  // buffer, all of it. Marks the layer drawn. False, with a log line, for a
  // buffer without pixels or with a stride under 4 * width.
  static bool drawInto(const TolbaPixelBuffer& buffer);
  // The pixels the last drawInto() or draw() changed (empty when none).
  static TolbaPixelRect lastDrawnRect();

  // Draws into a buffer the layer keeps (TolbaHost's pixelWidth x pixelHeight)
  // when the layer changed, and returns it; valid until the next call.
  static const TolbaPixelBuffer& draw();

  // Makes the SDK measure text with the fonts it draws with, so that labels
  // sized to their text, wrapping and the toast's width match what is drawn.
  // The first drawInto() or draw() does it; call it at start-up to have panels
  // laid out before the first frame measured the same way.
  //
  // The fonts are loaded, and the panels' characters shaped and rasterised, on
  // a worker thread that TolbaHost::setScreen() (or this call) starts; the main
  // thread never waits for it. A panel drawn before it is done is drawn right,
  // only slower (the fonts then load on the main thread).
  static void installTextMeasurer();
  // Whether that preparation is done (the next first panel draws fast).
  static bool fontsReady();
};

}  // namespace tolba
