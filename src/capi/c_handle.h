#pragma once
// The C interface's handle and the checks every entry point makes before it
// touches the SDK: a live handle on its own thread, strings that are UTF-8,
// JSON text that is an object. No exception leaves an entry point.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "tolba/platform/log.h"
#include "tolba/platform/notification_center.h"
#include "tolba/tolba.h"

struct tolba_sdk {
  std::thread::id owner;
  tolba_notification_fn notificationFn = nullptr;
  void* notificationData = nullptr;
  tolba_open_url_fn openUrlFn = nullptr;
  void* openUrlData = nullptr;
  std::vector<tolba::platform::ScopedObserver> observers;
};

namespace tolba::capi {

// Logs why `function` refused its input (never the input itself: it may hold a
// password) and answers `result`.
int32_t refuse(const char* function, int32_t result, const std::string& why);

// TOLBA_OK when `text` is present and valid UTF-8, else the code to answer.
int32_t checkText(const char* function, const char* name, const char* text);
// Parses `text` as a JSON object (after checkText); nullopt with `*result` set otherwise.
std::optional<nlohmann::json> parseObject(const char* function, const char* name, const char* text, int32_t* result);
// Copies `text` with its NUL into the caller's buffer, as tolba_sdk_session documents.
int32_t copyOut(const std::string& text, char* buffer, std::size_t capacity, std::size_t* length);

// The screen layer's side of a handle (tolba_host_c.cpp).
void detachHost(tolba_sdk* sdk);
void hostDidBecomeActive();
void hostDidEnterBackground();

inline void setOut(int32_t* out, int32_t value) {
  if (out) *out = value;
}

// Runs `body` for an entry point taking a handle: refuses a null handle or a call
// from another thread, and turns any exception into TOLBA_ERR_INTERNAL.
template <class Body>
int32_t guarded(tolba_sdk* sdk, const char* function, Body&& body) {
  if (sdk == nullptr) return refuse(function, TOLBA_ERR_NULL_ARGUMENT, "null handle");
  if (std::this_thread::get_id() != sdk->owner) {
    return refuse(function, TOLBA_ERR_WRONG_THREAD, "called from another thread than the handle's");
  }
  try {
    return body();
  } catch (const std::exception& e) {
    return refuse(function, TOLBA_ERR_INTERNAL, std::string("failed: ") + e.what());
  } catch (...) {
    return refuse(function, TOLBA_ERR_INTERNAL, "failed");
  }
}

}  // namespace tolba::capi
