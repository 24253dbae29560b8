#pragma once
// How the C interface reaches the renderer without depending on it: the renderer
// library defines this function (render_hook.cpp is compiled into it and linked
// whole); without it the weak reference stays null and drawing answers
// TOLBA_ERR_NO_RENDERER.

#include "tolba/TolbaHost.h"

extern "C" __attribute__((weak)) bool tolbaRenderDrawHook(const tolba::TolbaPixelBuffer* buffer);
