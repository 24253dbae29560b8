// The C interface over the screen layer (TolbaHost): screen, input, what is on
// screen, the open-address callback and drawing. Drawing is the renderer's: its
// library defines tolbaRenderDrawHook (render_hook.cpp); a game that does not link
// it gets TOLBA_ERR_NO_RENDERER.
#include <cmath>

#include "capi/c_handle.h"
#include "capi/render_hook.h"
#include "tolba/TolbaHost.h"

using tolba::capi::checkText;
using tolba::capi::guarded;
using tolba::capi::refuse;
using tolba::capi::setOut;
using Json = nlohmann::json;

namespace tolba::capi {

// The handle whose open-address callback the host calls (the last one set).
tolba_sdk*& urlHandle() {
  static tolba_sdk* handle = nullptr;
  return handle;
}

void detachHost(tolba_sdk* sdk) {
  if (urlHandle() != sdk) return;
  urlHandle() = nullptr;
  TolbaHost::shared().setOpenURLHandler(nullptr);
}
void hostDidBecomeActive() { TolbaHost::shared().didBecomeActive(); }
void hostDidEnterBackground() { TolbaHost::shared().didEnterBackground(); }

}  // namespace tolba::capi

extern "C" {

int32_t tolba_host_set_screen(tolba_sdk* sdk, const tolba_screen* screen) {
  return guarded(sdk, "tolba_host_set_screen", [&]() -> int32_t {
    if (screen == nullptr) return refuse("tolba_host_set_screen", TOLBA_ERR_NULL_ARGUMENT, "screen is NULL");
    const bool finite = std::isfinite(screen->width) && std::isfinite(screen->height) && std::isfinite(screen->scale) &&
                        std::isfinite(screen->safe_top) && std::isfinite(screen->safe_left) &&
                        std::isfinite(screen->safe_bottom) && std::isfinite(screen->safe_right);
    if (!finite || screen->width <= 0 || screen->height <= 0 || screen->scale <= 0 ||
        screen->orientation < TOLBA_ORIENTATION_PORTRAIT || screen->orientation > TOLBA_ORIENTATION_LANDSCAPE_LEFT) {
      return refuse("tolba_host_set_screen", TOLBA_ERR_INVALID_ARGUMENT,
                    "size and scale must be positive numbers and the orientation 1 to 4");
    }
    tolba::TolbaScreen s;
    s.width = screen->width;
    s.height = screen->height;
    s.scale = screen->scale;
    s.safeArea = {screen->safe_top, screen->safe_left, screen->safe_bottom, screen->safe_right};
    s.orientation = static_cast<tolba::TolbaOrientation>(screen->orientation);
    tolba::TolbaHost::shared().setScreen(s);
    return TOLBA_OK;
  });
}

int32_t tolba_host_touch(tolba_sdk* sdk, int64_t finger_id, int32_t phase, double x, double y, int32_t* out_taken) {
  return guarded(sdk, "tolba_host_touch", [&]() -> int32_t {
    if (phase < TOLBA_TOUCH_BEGAN || phase > TOLBA_TOUCH_CANCELLED || !std::isfinite(x) || !std::isfinite(y)) {
      return refuse("tolba_host_touch", TOLBA_ERR_INVALID_ARGUMENT, "phase 0 to 3 and finite coordinates");
    }
    const bool taken = tolba::TolbaHost::shared().touch(finger_id, static_cast<tolba::TolbaTouchPhase>(phase), x, y);
    setOut(out_taken, taken ? 1 : 0);
    return TOLBA_OK;
  });
}

int32_t tolba_host_text_input(tolba_sdk* sdk, const char* text, int32_t* out_taken) {
  return guarded(sdk, "tolba_host_text_input", [&]() -> int32_t {
    if (const int32_t r = checkText("tolba_host_text_input", "text", text); r != TOLBA_OK) return r;
    setOut(out_taken, tolba::TolbaHost::shared().textInput(text) ? 1 : 0);
    return TOLBA_OK;
  });
}

int32_t tolba_host_text_editing(tolba_sdk* sdk, const char* preedit, int32_t cursor, int32_t* out_taken) {
  return guarded(sdk, "tolba_host_text_editing", [&]() -> int32_t {
    if (const int32_t r = checkText("tolba_host_text_editing", "preedit", preedit); r != TOLBA_OK) return r;
    setOut(out_taken, tolba::TolbaHost::shared().textEditing(preedit, cursor) ? 1 : 0);
    return TOLBA_OK;
  });
}

int32_t tolba_host_key(tolba_sdk* sdk, int32_t key, int32_t* out_taken) {
  return guarded(sdk, "tolba_host_key", [&]() -> int32_t {
    if (key < TOLBA_KEY_BACKSPACE || key > TOLBA_KEY_ESCAPE) {
      return refuse("tolba_host_key", TOLBA_ERR_INVALID_ARGUMENT, "unknown key " + std::to_string(key));
    }
    setOut(out_taken, tolba::TolbaHost::shared().key(static_cast<tolba::TolbaKey>(key)) ? 1 : 0);
    return TOLBA_OK;
  });
}

int32_t tolba_host_wants_text_input(tolba_sdk* sdk, int32_t* out_wants) {
  return guarded(sdk, "tolba_host_wants_text_input", [&]() -> int32_t {
    setOut(out_wants, tolba::TolbaHost::shared().wantsTextInput() ? 1 : 0);
    return TOLBA_OK;
  });
}

int32_t tolba_host_has_content(tolba_sdk* sdk, int32_t* out_has_content) {
  return guarded(sdk, "tolba_host_has_content", [&]() -> int32_t {
    setOut(out_has_content, tolba::TolbaHost::shared().hasContent() ? 1 : 0);
    return TOLBA_OK;
  });
}

int32_t tolba_host_needs_redraw(tolba_sdk* sdk, int32_t* out_needs_redraw) {
  return guarded(sdk, "tolba_host_needs_redraw", [&]() -> int32_t {
    setOut(out_needs_redraw, tolba::TolbaHost::shared().needsRedraw() ? 1 : 0);
    return TOLBA_OK;
  });
}

int32_t tolba_host_pixel_size(tolba_sdk* sdk, int32_t* out_width, int32_t* out_height) {
  return guarded(sdk, "tolba_host_pixel_size", [&]() -> int32_t {
    setOut(out_width, tolba::TolbaHost::shared().pixelWidth());
    setOut(out_height, tolba::TolbaHost::shared().pixelHeight());
    return TOLBA_OK;
  });
}

int32_t tolba_host_dirty_rect(tolba_sdk* sdk, int32_t* out_x, int32_t* out_y, int32_t* out_width, int32_t* out_height) {
  return guarded(sdk, "tolba_host_dirty_rect", [&]() -> int32_t {
    const auto r = tolba::TolbaHost::shared().dirtyRect();
    setOut(out_x, r.x);
    setOut(out_y, r.y);
    setOut(out_width, r.width);
    setOut(out_height, r.height);
    return TOLBA_OK;
  });
}

int32_t tolba_host_redraw_all(tolba_sdk* sdk) {
  return guarded(sdk, "tolba_host_redraw_all", [&]() -> int32_t {
    tolba::TolbaHost::shared().redrawAll();
    return TOLBA_OK;
  });
}

int32_t tolba_host_elements(tolba_sdk* sdk, char* buffer, size_t capacity, size_t* out_length) {
  return guarded(sdk, "tolba_host_elements", [&]() -> int32_t {
    Json list = Json::array();
    for (const auto& e : tolba::TolbaHost::shared().elements()) {
      list.push_back({{"kind", e.kind},
                      {"text", e.text},
                      {"x", e.x},
                      {"y", e.y},
                      {"width", e.width},
                      {"height", e.height},
                      {"focused", e.focused},
                      {"on", e.on}});
    }
    return tolba::capi::copyOut(list.dump(-1, ' ', false, Json::error_handler_t::replace), buffer, capacity,
                                out_length);
  });
}

int32_t tolba_host_set_open_url_callback(tolba_sdk* sdk, tolba_open_url_fn callback, void* user_data) {
  return guarded(sdk, "tolba_host_set_open_url_callback", [&]() -> int32_t {
    sdk->openUrlFn = callback;
    sdk->openUrlData = user_data;
    if (callback == nullptr) {
      tolba::capi::detachHost(sdk);
      return TOLBA_OK;
    }
    tolba::capi::urlHandle() = sdk;
    tolba::TolbaHost::shared().setOpenURLHandler([sdk](const std::string& url) {
      return sdk->openUrlFn != nullptr && sdk->openUrlFn(url.c_str(), sdk->openUrlData) != 0;
    });
    return TOLBA_OK;
  });
}

int32_t tolba_host_draw(tolba_sdk* sdk, uint8_t* pixels, int32_t width, int32_t height, int32_t stride) {
  return guarded(sdk, "tolba_host_draw", [&]() -> int32_t {
    if (pixels == nullptr) return refuse("tolba_host_draw", TOLBA_ERR_NULL_ARGUMENT, "pixels is NULL");
    if (width <= 0 || height <= 0 || stride / 4 < width) {
      return refuse("tolba_host_draw", TOLBA_ERR_INVALID_ARGUMENT, "needs a positive size and stride >= 4 * width");
    }
    if (tolbaRenderDrawHook == nullptr) {
      return refuse("tolba_host_draw", TOLBA_ERR_NO_RENDERER, "the renderer library (Tolba::render) is not linked");
    }
    const tolba::TolbaPixelBuffer buffer{pixels, width, height, stride};
    return tolbaRenderDrawHook(&buffer) ? TOLBA_OK : TOLBA_ERR_INTERNAL;
  });
}

}  // extern "C"
