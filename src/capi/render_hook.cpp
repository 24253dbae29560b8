// Compiled into the renderer library (cmake/TolbaSharedLibrary.cmake): gives the C
// interface's tolba_host_draw its drawing.
#include "render_hook.h"

#include "tolba/TolbaLayer.h"

extern "C" bool tolbaRenderDrawHook(const tolba::TolbaPixelBuffer* buffer) {
  return tolba::TolbaLayer::drawInto(*buffer);
}
