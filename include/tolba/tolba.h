/* The SDK's C interface: plain C, stable across releases, for engines that call
 * native code through a C ABI (C# P/Invoke, Lua, ...).
 *
 *   tolba_sdk* sdk;
 *   tolba_sdk_create(&sdk);                              // on the game's main thread
 *   tolba_sdk_set_notification_callback(sdk, on_note, game);
 *   tolba_sdk_init(sdk, "{\"gameid\":\"1001\"}");
 *   for (;;) { ... tolba_sdk_tick(sdk); ... }            // once per frame
 *   tolba_sdk_destroy(sdk);
 *
 * Rules
 * - Results: every function answers an int32_t, TOLBA_OK (0) or a negative code:
 *   the facade's own codes (TOLBA_ERR_NOT_INITIALISED, ...) or one of this layer's
 *   TOLBA_ERR_* codes for input it refuses. Answers to questions come through
 *   out-parameters, which may be NULL when the caller does not want them.
 * - Strings are UTF-8 and NUL-terminated; dictionaries and records are JSON
 *   objects in text. Invalid UTF-8 gives TOLBA_ERR_INVALID_UTF8, text that is not
 *   a JSON object TOLBA_ERR_INVALID_JSON, a NULL handle or required string
 *   TOLBA_ERR_NULL_ARGUMENT. Nothing is ever thrown across this interface.
 * - Ownership: the SDK never keeps or frees a pointer the caller passes in; it
 *   copies what it needs before returning. Strings the SDK hands to a callback are
 *   valid only during that call. Text the SDK returns is copied into a buffer the
 *   caller owns (see tolba_sdk_session); nothing returned needs freeing except a
 *   handle, with tolba_sdk_destroy.
 * - Threads: a handle belongs to the thread that created it, which must be the
 *   thread that calls tolba_sdk_tick. A call from another thread gives
 *   TOLBA_ERR_WRONG_THREAD and does nothing. The version queries, tolba_result_name
 *   and tolba_set_log_sink may be called from any thread.
 */
#ifndef TOLBA_TOLBA_H
#define TOLBA_TOLBA_H

#include <stddef.h>
#include <stdint.h>

#include "tolba/tolba_version.h"

#if defined(__GNUC__) || defined(__clang__)
#define TOLBA_C_API __attribute__((visibility("default")))
#else
#define TOLBA_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Result codes ------------------------------------------------------------ */
enum {
  TOLBA_OK = 0,
  /* the facade's codes (also the "error" values of notification payloads) */
  TOLBA_ERR_LOGIN_FAILED = -2,     /* kTolbaSDKNotiLogin: panel failed / unreadable reply */
  TOLBA_ERR_SIGN_IN_REFUSED = -3,  /* kTolbaSDKNotiLogin: the server refused */
  TOLBA_ERR_INIT_REFUSED = -10,    /* no gameid */
  TOLBA_ERR_NOT_INITIALISED = -20, /* initialisation has not finished */
  TOLBA_ERR_REAL_AUTH = -100,      /* the fixed answer of tolba_sdk_real_auth */
  TOLBA_ERR_NOT_SIGNED_IN = -301,  /* nobody is signed in */
  TOLBA_ERR_PLAY_TIME_OVER = -302, /* TOLBA_NOTI_PLAY_TIME: a minor's play time for today has ended */
  TOLBA_ERR_PAY_FAILED = -400,     /* kTolbaSDKNotiRecharge: refused or failed */
  TOLBA_ERR_PAY_CANCELLED = -401,  /* kTolbaSDKNotiRecharge: cancelled */
  /* this layer's codes */
  TOLBA_ERR_NULL_ARGUMENT = -1001,    /* a NULL handle or required pointer */
  TOLBA_ERR_INVALID_UTF8 = -1002,     /* a string that is not valid UTF-8 */
  TOLBA_ERR_INVALID_JSON = -1003,     /* text that is not a JSON object */
  TOLBA_ERR_INVALID_ARGUMENT = -1004, /* a record key of the wrong type, an unknown enum value */
  TOLBA_ERR_WRONG_THREAD = -1005,     /* called from another thread than the handle's */
  TOLBA_ERR_BUFFER_TOO_SMALL = -1006, /* the text did not fit; *length says how much is needed */
  TOLBA_ERR_NO_RENDERER = -1007,      /* drawing asked of a build without the renderer */
  TOLBA_ERR_INTERNAL = -1099          /* an unexpected failure inside the SDK (logged) */
};

/* A short English name of a result code ("TOLBA_ERR_INVALID_UTF8"); never NULL,
 * static storage. Any thread. */
TOLBA_C_API const char* tolba_result_name(int32_t result);

/* ---- Version (any thread) ------------------------------------------------------ */
/* The SDK's version as major * 10000 + minor * 100 + patch (10000 for 1.0.0): the
 * library's own, where TOLBA_VERSION is the version of the headers a game built with. */
TOLBA_C_API int32_t tolba_version(void);
/* "1.0.0"; static storage. */
TOLBA_C_API const char* tolba_version_string(void);

/* ---- Log sink (any thread) --------------------------------------------------------- */
/* Every SDK log line goes to `sink` (one line per call, from any thread, never two at
 * once) instead of stderr; NULL restores stderr. */
typedef void (*tolba_log_fn)(const char* line, void* user_data);
TOLBA_C_API int32_t tolba_set_log_sink(tolba_log_fn sink, void* user_data);

/* ---- The handle ------------------------------------------------------------------- */
typedef struct tolba_sdk tolba_sdk;

/* Creates a handle on the calling thread (the thread that will tick). Several
 * handles share the one SDK; each has its own callbacks. */
TOLBA_C_API int32_t tolba_sdk_create(tolba_sdk** out_sdk);
/* Removes the handle's callbacks and frees it. NULL is accepted. */
TOLBA_C_API int32_t tolba_sdk_destroy(tolba_sdk* sdk);

/* Where Tolba.plist is read from and where settings are kept (before init; either
 * may be NULL to leave it as it is). */
TOLBA_C_API int32_t tolba_sdk_set_directories(tolba_sdk* sdk, const char* bundle_dir, const char* data_dir);

/* Runs replies, timers and notifications that are due; never blocks. Once per frame.
 * `out_ran` (may be NULL) gets the number of callbacks that ran. */
TOLBA_C_API int32_t tolba_sdk_tick(tolba_sdk* sdk, int32_t* out_ran);

/* ---- Notifications ------------------------------------------------------------------- */
/* The six notifications arrive here during tolba_sdk_tick: `name` is one of the
 * TOLBA_NOTI_* texts, `payload_json` a JSON object with "error" and maybe "msg".
 * NULL stops them. */
#define TOLBA_NOTI_INIT_DID_FINISHED "kTolbaSDKNotiInitDidFinished"
#define TOLBA_NOTI_LOGIN "kTolbaSDKNotiLogin"
#define TOLBA_NOTI_LOGOUT "kTolbaSDKNotiLogout"
#define TOLBA_NOTI_RECHARGE "kTolbaSDKNotiRecharge"
#define TOLBA_NOTI_REAL_AUTH "kTolbaSDKNotiRealAuth"
#define TOLBA_NOTI_PLAY_TIME "kTolbaSDKNotiPlayTime"
typedef void (*tolba_notification_fn)(const char* name, const char* payload_json, void* user_data);
TOLBA_C_API int32_t tolba_sdk_set_notification_callback(tolba_sdk* sdk, tolba_notification_fn callback,
                                                        void* user_data);

/* ---- The facade ------------------------------------------------------------------------ */
/* config_json: {"gameid": "1001"}. TOLBA_OK or TOLBA_ERR_INIT_REFUSED. */
TOLBA_C_API int32_t tolba_sdk_init(tolba_sdk* sdk, const char* config_json);
TOLBA_C_API int32_t tolba_sdk_login(tolba_sdk* sdk);
TOLBA_C_API int32_t tolba_sdk_logout(tolba_sdk* sdk);
TOLBA_C_API int32_t tolba_sdk_real_auth(tolba_sdk* sdk);
/* The session as a JSON object {"username", "token", "logintime", "realNameInfo"}
 * (absent keys: nobody signed in) copied into `buffer` with its NUL; `out_length`
 * (may be NULL) gets the text's length without the NUL. A buffer that is too small
 * (or NULL with capacity 0) gives TOLBA_ERR_BUFFER_TOO_SMALL and the length needed. */
TOLBA_C_API int32_t tolba_sdk_session(tolba_sdk* sdk, char* buffer, size_t capacity, size_t* out_length);
/* role_json: the role record's properties by name, all strings ({"serverId": "s1",
 * "gameRoleName": "...", ...}); unknown keys are refused. */
TOLBA_C_API int32_t tolba_sdk_update_role(tolba_sdk* sdk, const char* role_json, int32_t is_create);
/* order_json: {"goodsID", "productName", "cpOrderID", "count" (integer >= 0),
 * "amount" (number, yuan), "extrasParams", "sign", "price", "productDesc",
 * "quantifier"}; role_json as above. TOLBA_OK, TOLBA_ERR_NOT_INITIALISED or
 * TOLBA_ERR_NOT_SIGNED_IN; the outcome arrives as TOLBA_NOTI_RECHARGE. */
TOLBA_C_API int32_t tolba_sdk_pay(tolba_sdk* sdk, const char* order_json, const char* role_json);
TOLBA_C_API int32_t tolba_sdk_show_toolbar(tolba_sdk* sdk, int32_t place);
TOLBA_C_API int32_t tolba_sdk_hide_toolbar(tolba_sdk* sdk);
TOLBA_C_API int32_t tolba_sdk_enter_user_center(tolba_sdk* sdk);

/* The orientation hook: 24 (landscape left and right) or 2 (portrait). */
#define TOLBA_ORIENTATION_MASK_PORTRAIT 2u
#define TOLBA_ORIENTATION_MASK_LANDSCAPE 24u
TOLBA_C_API int32_t tolba_sdk_supported_orientations(tolba_sdk* sdk, uint32_t* out_mask);

/* ---- Application events ---------------------------------------------------------------- */
typedef enum {
  TOLBA_APP_WILL_RESIGN_ACTIVE = 0,
  TOLBA_APP_DID_ENTER_BACKGROUND = 1,
  TOLBA_APP_WILL_ENTER_FOREGROUND = 2,
  TOLBA_APP_DID_BECOME_ACTIVE = 3,
  TOLBA_APP_WILL_TERMINATE = 4
} tolba_app_event;
/* Forwards an application-delegate event (int32_t: a tolba_app_event). Becoming
 * active and entering the background also reach the SDK's screen layer (a WeChat
 * payment counts as paid when the game comes back). `out_handled` gets 0. */
TOLBA_C_API int32_t tolba_sdk_application_event(tolba_sdk* sdk, int32_t event, int32_t* out_handled);
/* An address the game was opened with; source_app and options_json may be NULL. */
TOLBA_C_API int32_t tolba_sdk_open_url(tolba_sdk* sdk, const char* url, const char* source_app,
                                       const char* options_json, int32_t* out_handled);
/* Remote notifications: a device token, a registration error text, or a received
 * notification's JSON object. */
typedef enum {
  TOLBA_REMOTE_DEVICE_TOKEN = 0,
  TOLBA_REMOTE_REGISTRATION_FAILED = 1,
  TOLBA_REMOTE_RECEIVED = 2
} tolba_remote_event;
TOLBA_C_API int32_t tolba_sdk_remote_notification(tolba_sdk* sdk, int32_t event, const char* text,
                                                  int32_t* out_handled);
/* A continued user activity (JSON object); the restoration handler is never called. */
TOLBA_C_API int32_t tolba_sdk_continue_user_activity(tolba_sdk* sdk, const char* activity_json, int32_t* out_handled);

/* ---- The screen layer (the game hosts the SDK's panels) ----------------------------------- */
typedef struct {
  double width, height; /* points, in the current orientation */
  double scale;         /* pixels per point */
  double safe_top, safe_left, safe_bottom, safe_right;
  int32_t orientation; /* TOLBA_ORIENTATION_* */
} tolba_screen;
enum {
  TOLBA_ORIENTATION_PORTRAIT = 1,
  TOLBA_ORIENTATION_PORTRAIT_UPSIDE_DOWN = 2,
  TOLBA_ORIENTATION_LANDSCAPE_RIGHT = 3,
  TOLBA_ORIENTATION_LANDSCAPE_LEFT = 4
};
enum { TOLBA_TOUCH_BEGAN = 0, TOLBA_TOUCH_MOVED = 1, TOLBA_TOUCH_ENDED = 2, TOLBA_TOUCH_CANCELLED = 3 };
enum { TOLBA_KEY_BACKSPACE = 0, TOLBA_KEY_RETURN = 1, TOLBA_KEY_TAB = 2, TOLBA_KEY_ESCAPE = 3 };

TOLBA_C_API int32_t tolba_host_set_screen(tolba_sdk* sdk, const tolba_screen* screen);
/* Input; `out_taken` gets 1 when the SDK took the event (the game should not act
 * on it too), else 0. Coordinates in points from the top left. */
TOLBA_C_API int32_t tolba_host_touch(tolba_sdk* sdk, int64_t finger_id, int32_t phase, double x, double y,
                                     int32_t* out_taken);
TOLBA_C_API int32_t tolba_host_text_input(tolba_sdk* sdk, const char* text, int32_t* out_taken);
TOLBA_C_API int32_t tolba_host_text_editing(tolba_sdk* sdk, const char* preedit, int32_t cursor, int32_t* out_taken);
TOLBA_C_API int32_t tolba_host_key(tolba_sdk* sdk, int32_t key, int32_t* out_taken);
TOLBA_C_API int32_t tolba_host_wants_text_input(tolba_sdk* sdk, int32_t* out_wants);
/* Whether the SDK shows anything, and whether it changed since it was last drawn. */
TOLBA_C_API int32_t tolba_host_has_content(tolba_sdk* sdk, int32_t* out_has_content);
TOLBA_C_API int32_t tolba_host_needs_redraw(tolba_sdk* sdk, int32_t* out_needs_redraw);
TOLBA_C_API int32_t tolba_host_pixel_size(tolba_sdk* sdk, int32_t* out_width, int32_t* out_height);
/* The pixels the next tolba_host_draw changes (width and height 0 when none):
 * drawing into the same buffer as last time redraws only this part, so upload
 * only this part of the texture. tolba_host_redraw_all makes the next draw
 * redraw (and the rectangle cover) everything, for a game that lost its texture. */
TOLBA_C_API int32_t tolba_host_dirty_rect(tolba_sdk* sdk, int32_t* out_x, int32_t* out_y, int32_t* out_width,
                                          int32_t* out_height);
TOLBA_C_API int32_t tolba_host_redraw_all(tolba_sdk* sdk);
/* What the player sees, as a JSON array of {"kind", "text", "x", "y", "width",
 * "height", "focused", "on"} (points), copied as tolba_sdk_session does. */
TOLBA_C_API int32_t tolba_host_elements(tolba_sdk* sdk, char* buffer, size_t capacity, size_t* out_length);
/* Addresses the SDK opens in another application ("weixin://..."); the callback
 * answers 1 when it opened it. NULL: nothing opens. */
typedef int32_t (*tolba_open_url_fn)(const char* url, void* user_data);
TOLBA_C_API int32_t tolba_host_set_open_url_callback(tolba_sdk* sdk, tolba_open_url_fn callback, void* user_data);
/* Draws the SDK's layer into the caller's RGBA buffer (premultiplied alpha,
 * `stride` bytes per row, at least 4 * width): what changed when it is the
 * buffer drawn into last time, all of it otherwise. Needs the renderer library
 * (Tolba::render); without it the answer is TOLBA_ERR_NO_RENDERER. */
TOLBA_C_API int32_t tolba_host_draw(tolba_sdk* sdk, uint8_t* pixels, int32_t width, int32_t height, int32_t stride);

#ifdef __cplusplus
}
#endif

#endif /* TOLBA_TOLBA_H */
