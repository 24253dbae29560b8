// Compiled into the renderer library (see src/CMakeLists.txt): gives the C
// interface's tolba_host_draw its drawing.
#include "capi/render_hook.h"

#include "tolba/TolbaLayer.h"

extern "C" bool tolbaRenderDrawHook(const tolba::TolbaPixelBuffer* buffer) {
  return tolba::TolbaLayer::drawInto(*buffer);
}
