-- The SDK for Lua games on LuaJIT (LÖVE and others): its C interface through
-- LuaJIT's FFI, with a small layer in the engine's idiom.
--
--   local tolba = require("tolba")
--   local sdk = tolba.new{bundle = dir, data = dir}
--   sdk:on("kTolbaSDKNotiLogin", function(payload) print(payload.error) end)
--   sdk:init{gameid = "1001"}
--   function love.update() sdk:tick() end      -- notifications arrive from here
--
-- Records are Lua tables, encoded to the JSON text the C interface takes;
-- payloads arrive as tables. Input functions answer whether the SDK took the
-- event. In LÖVE, sdk:layer() is an Image of the SDK's screen layer (only the
-- changed region is uploaded) to draw over the game.
local ffi = require("ffi")

-- The declarations of tolba.h, as the C preprocessor gives them (a test
-- compares the two). BEGIN DECLARATIONS
local declarations = [[
enum {
 TOLBA_OK = 0,
 TOLBA_ERR_LOGIN_FAILED = -2,
 TOLBA_ERR_SIGN_IN_REFUSED = -3,
 TOLBA_ERR_INIT_REFUSED = -10,
 TOLBA_ERR_NOT_INITIALISED = -20,
 TOLBA_ERR_REAL_AUTH = -100,
 TOLBA_ERR_NOT_SIGNED_IN = -301,
 TOLBA_ERR_PLAY_TIME_OVER = -302,
 TOLBA_ERR_PAY_FAILED = -400,
 TOLBA_ERR_PAY_CANCELLED = -401,
 TOLBA_ERR_NULL_ARGUMENT = -1001,
 TOLBA_ERR_INVALID_UTF8 = -1002,
 TOLBA_ERR_INVALID_JSON = -1003,
 TOLBA_ERR_INVALID_ARGUMENT = -1004,
 TOLBA_ERR_WRONG_THREAD = -1005,
 TOLBA_ERR_BUFFER_TOO_SMALL = -1006,
 TOLBA_ERR_NO_RENDERER = -1007,
 TOLBA_ERR_INTERNAL = -1099
};
const char* tolba_result_name(int32_t result);
int32_t tolba_version(void);
const char* tolba_version_string(void);
typedef void (*tolba_log_fn)(const char* line, void* user_data);
int32_t tolba_set_log_sink(tolba_log_fn sink, void* user_data);
typedef struct tolba_sdk tolba_sdk;
int32_t tolba_sdk_create(tolba_sdk** out_sdk);
int32_t tolba_sdk_destroy(tolba_sdk* sdk);
int32_t tolba_sdk_set_directories(tolba_sdk* sdk, const char* bundle_dir, const char* data_dir);
int32_t tolba_sdk_tick(tolba_sdk* sdk, int32_t* out_ran);
typedef void (*tolba_notification_fn)(const char* name, const char* payload_json, void* user_data);
int32_t tolba_sdk_set_notification_callback(tolba_sdk* sdk, tolba_notification_fn callback,
                                                       void* user_data);
int32_t tolba_sdk_init(tolba_sdk* sdk, const char* config_json);
int32_t tolba_sdk_login(tolba_sdk* sdk);
int32_t tolba_sdk_logout(tolba_sdk* sdk);
int32_t tolba_sdk_real_auth(tolba_sdk* sdk);
int32_t tolba_sdk_session(tolba_sdk* sdk, char* buffer, size_t capacity, size_t* out_length);
int32_t tolba_sdk_update_role(tolba_sdk* sdk, const char* role_json, int32_t is_create);
int32_t tolba_sdk_pay(tolba_sdk* sdk, const char* order_json, const char* role_json);
int32_t tolba_sdk_show_toolbar(tolba_sdk* sdk, int32_t place);
int32_t tolba_sdk_hide_toolbar(tolba_sdk* sdk);
int32_t tolba_sdk_enter_user_center(tolba_sdk* sdk);
int32_t tolba_sdk_supported_orientations(tolba_sdk* sdk, uint32_t* out_mask);
typedef enum {
 TOLBA_APP_WILL_RESIGN_ACTIVE = 0,
 TOLBA_APP_DID_ENTER_BACKGROUND = 1,
 TOLBA_APP_WILL_ENTER_FOREGROUND = 2,
 TOLBA_APP_DID_BECOME_ACTIVE = 3,
 TOLBA_APP_WILL_TERMINATE = 4
} tolba_app_event;
int32_t tolba_sdk_application_event(tolba_sdk* sdk, int32_t event, int32_t* out_handled);
int32_t tolba_sdk_open_url(tolba_sdk* sdk, const char* url, const char* source_app,
                                      const char* options_json, int32_t* out_handled);
typedef enum {
 TOLBA_REMOTE_DEVICE_TOKEN = 0,
 TOLBA_REMOTE_REGISTRATION_FAILED = 1,
 TOLBA_REMOTE_RECEIVED = 2
} tolba_remote_event;
int32_t tolba_sdk_remote_notification(tolba_sdk* sdk, int32_t event, const char* text,
                                                 int32_t* out_handled);
int32_t tolba_sdk_continue_user_activity(tolba_sdk* sdk, const char* activity_json,
                                                    int32_t* out_handled);
typedef struct {
 double width, height;
 double scale;
 double safe_top, safe_left, safe_bottom, safe_right;
 int32_t orientation;
} tolba_screen;
enum {
 TOLBA_ORIENTATION_PORTRAIT = 1,
 TOLBA_ORIENTATION_PORTRAIT_UPSIDE_DOWN = 2,
 TOLBA_ORIENTATION_LANDSCAPE_RIGHT = 3,
 TOLBA_ORIENTATION_LANDSCAPE_LEFT = 4
};
enum { TOLBA_TOUCH_BEGAN = 0, TOLBA_TOUCH_MOVED = 1, TOLBA_TOUCH_ENDED = 2, TOLBA_TOUCH_CANCELLED = 3 };
enum { TOLBA_KEY_BACKSPACE = 0, TOLBA_KEY_RETURN = 1, TOLBA_KEY_TAB = 2, TOLBA_KEY_ESCAPE = 3 };
int32_t tolba_host_set_screen(tolba_sdk* sdk, const tolba_screen* screen);
int32_t tolba_host_touch(tolba_sdk* sdk, int64_t finger_id, int32_t phase, double x, double y,
                                    int32_t* out_taken);
int32_t tolba_host_text_input(tolba_sdk* sdk, const char* text, int32_t* out_taken);
int32_t tolba_host_text_editing(tolba_sdk* sdk, const char* preedit, int32_t cursor,
                                           int32_t* out_taken);
int32_t tolba_host_key(tolba_sdk* sdk, int32_t key, int32_t* out_taken);
int32_t tolba_host_wants_text_input(tolba_sdk* sdk, int32_t* out_wants);
int32_t tolba_host_has_content(tolba_sdk* sdk, int32_t* out_has_content);
int32_t tolba_host_needs_redraw(tolba_sdk* sdk, int32_t* out_needs_redraw);
int32_t tolba_host_pixel_size(tolba_sdk* sdk, int32_t* out_width, int32_t* out_height);
int32_t tolba_host_dirty_rect(tolba_sdk* sdk, int32_t* out_x, int32_t* out_y, int32_t* out_width,
                                         int32_t* out_height);
int32_t tolba_host_redraw_all(tolba_sdk* sdk);
int32_t tolba_host_elements(tolba_sdk* sdk, char* buffer, size_t capacity, size_t* out_length);
typedef int32_t (*tolba_open_url_fn)(const char* url, void* user_data);
int32_t tolba_host_set_open_url_callback(tolba_sdk* sdk, tolba_open_url_fn callback, void* user_data);
int32_t tolba_host_draw(tolba_sdk* sdk, uint8_t* pixels, int32_t width, int32_t height, int32_t stride);
]]
-- END DECLARATIONS
ffi.cdef(declarations)

local tolba = {}

-- --- JSON, as much as records and payloads need ---------------------------------
local json = {}
tolba.json = json

local escapes = {['"'] = '\\"', ["\\"] = "\\\\", ["\b"] = "\\b", ["\f"] = "\\f", ["\n"] = "\\n", ["\r"] = "\\r", ["\t"] = "\\t"}

local function isArray(t)
  local n = 0
  for k in pairs(t) do
    if type(k) ~= "number" then return false end
    n = n + 1
  end
  return n == #t
end

function json.encode(value)
  local kind = type(value)
  if kind == "nil" then return "null" end
  if kind == "boolean" then return value and "true" or "false" end
  if kind == "number" then
    if value ~= value or value == math.huge or value == -math.huge then error("tolba.json: not a finite number") end
    if value == math.floor(value) and math.abs(value) < 2^53 then return string.format("%d", value) end
    return string.format("%.17g", value)
  end
  if kind == "string" then
    return '"' .. value:gsub('[%c"\\]', function(c) return escapes[c] or string.format("\\u%04x", c:byte()) end) .. '"'
  end
  if kind == "table" then
    local parts = {}
    if next(value) ~= nil and isArray(value) then
      for i = 1, #value do parts[i] = json.encode(value[i]) end
      return "[" .. table.concat(parts, ",") .. "]"
    end
    for k, v in pairs(value) do parts[#parts + 1] = json.encode(tostring(k)) .. ":" .. json.encode(v) end
    table.sort(parts)
    return "{" .. table.concat(parts, ",") .. "}"
  end
  error("tolba.json: cannot encode a " .. kind)
end

local function utf8(code)
  if code < 0x80 then return string.char(code) end
  if code < 0x800 then return string.char(0xC0 + math.floor(code / 0x40), 0x80 + code % 0x40) end
  if code < 0x10000 then
    return string.char(0xE0 + math.floor(code / 0x1000), 0x80 + math.floor(code / 0x40) % 0x40, 0x80 + code % 0x40)
  end
  return string.char(0xF0 + math.floor(code / 0x40000), 0x80 + math.floor(code / 0x1000) % 0x40,
                     0x80 + math.floor(code / 0x40) % 0x40, 0x80 + code % 0x40)
end

-- Decodes JSON text; nil and a message when it is not JSON.
function json.decode(text)
  local at = 1
  local function fail(why) error({why = why .. " at " .. at}) end
  local function space() at = text:find("[^ \t\r\n]", at) or #text + 1 end
  local value
  local function str()
    local out = {}
    at = at + 1
    while true do
      local c = text:sub(at, at)
      if c == "" then fail("unterminated string") end
      if c == '"' then at = at + 1; return table.concat(out) end
      if c == "\\" then
        local e = text:sub(at + 1, at + 1)
        local plain = {['"'] = '"', ["\\"] = "\\", ["/"] = "/", b = "\b", f = "\f", n = "\n", r = "\r", t = "\t"}
        if plain[e] then
          out[#out + 1] = plain[e]
          at = at + 2
        elseif e == "u" then
          local code = tonumber(text:sub(at + 2, at + 5), 16) or fail("bad escape")
          at = at + 6
          if code >= 0xD800 and code < 0xDC00 and text:sub(at, at + 1) == "\\u" then
            local low = tonumber(text:sub(at + 2, at + 5), 16) or fail("bad escape")
            code = 0x10000 + (code - 0xD800) * 0x400 + (low - 0xDC00)
            at = at + 6
          end
          out[#out + 1] = utf8(code)
        else
          fail("bad escape")
        end
      else
        local stop = text:find('["\\]', at) or #text + 1
        out[#out + 1] = text:sub(at, stop - 1)
        at = stop
      end
    end
  end
  function value()
    space()
    local c = text:sub(at, at)
    if c == "{" then
      local t = {}
      at = at + 1
      space()
      if text:sub(at, at) == "}" then at = at + 1; return t end
      while true do
        space()
        if text:sub(at, at) ~= '"' then fail("expected a key") end
        local k = str()
        space()
        if text:sub(at, at) ~= ":" then fail("expected ':'") end
        at = at + 1
        t[k] = value()
        space()
        local d = text:sub(at, at)
        at = at + 1
        if d == "}" then return t end
        if d ~= "," then fail("expected ',' or '}'") end
      end
    elseif c == "[" then
      local t = {}
      at = at + 1
      space()
      if text:sub(at, at) == "]" then at = at + 1; return t end
      while true do
        t[#t + 1] = value()
        space()
        local d = text:sub(at, at)
        at = at + 1
        if d == "]" then return t end
        if d ~= "," then fail("expected ',' or ']'") end
      end
    elseif c == '"' then
      return str()
    elseif text:find("^true", at) then at = at + 4; return true
    elseif text:find("^false", at) then at = at + 5; return false
    elseif text:find("^null", at) then at = at + 4; return nil
    end
    local number = text:match("^-?%d+%.?%d*[eE]?[-+]?%d*", at)
    if not number or number == "" then fail("unexpected character") end
    at = at + #number
    return tonumber(number)
  end
  local ok, result = pcall(function()
    local v = value()
    space()
    if at <= #text then fail("text after the value") end
    return v
  end)
  if ok then return result end
  return nil, type(result) == "table" and result.why or tostring(result)
end

-- --- The SDK ------------------------------------------------------------------------
local Sdk = {}
Sdk.__index = Sdk

local phases = {began = 0, moved = 1, ended = 2, cancelled = 3}
local keys = {backspace = 0, ["return"] = 1, kpenter = 1, tab = 2, escape = 3}
local appEvents = {willResignActive = 0, didEnterBackground = 1, willEnterForeground = 2, didBecomeActive = 3,
                   willTerminate = 4}

local function check(result, what)
  if result ~= 0 then error("tolba: " .. what .. ": " .. ffi.string(tolba.C.tolba_result_name(result)), 3) end
end

-- Each input call and question answers the flag the SDK wrote into `self.out`.
local function answered(self, result, what)
  check(result, what)
  return self.out[0] ~= 0
end

-- Loads the native library (by default "tolba-sdk", libtolba-sdk.so on the
-- loader's path) once.
function tolba.load(name)
  if not tolba.C then tolba.C = ffi.load(name or os.getenv("TOLBA_LIBRARY") or "tolba-sdk") end
  return tolba.C
end

function tolba.version() return ffi.string(tolba.load().tolba_version_string()) end
function tolba.resultName(result) return ffi.string(tolba.load().tolba_result_name(result)) end

-- A handle on the calling thread. options: bundle (Tolba.plist's folder) and
-- data (where settings are kept).
function tolba.new(options)
  local C = tolba.load(options and options.library)
  local out = ffi.new("tolba_sdk*[1]")
  check(C.tolba_sdk_create(out), "create")
  local self = setmetatable({handle = out[0], handlers = {}, pending = {}, C = C, out = ffi.new("int32_t[1]")}, Sdk)
  if options and (options.bundle or options.data) then
    check(C.tolba_sdk_set_directories(self.handle, options.bundle, options.data), "set_directories")
  end
  -- Notifications are copied during the tick and handed to Lua after it.
  self.notificationCallback = ffi.cast("tolba_notification_fn", function(name, payload)
    self.pending[#self.pending + 1] = {ffi.string(name), ffi.string(payload)}
  end)
  check(C.tolba_sdk_set_notification_callback(self.handle, self.notificationCallback, nil), "set_notification_callback")
  return self
end

function Sdk:destroy()
  if not self.handle then return end
  self.C.tolba_sdk_destroy(self.handle)
  self.handle = nil
  self.notificationCallback:free()
  if self.openUrlCallback then self.openUrlCallback:free() end
end

-- `handler(payload, name)` for the notification `name` ("*": every one).
function Sdk:on(name, handler)
  self.handlers[name] = self.handlers[name] or {}
  table.insert(self.handlers[name], handler)
end

-- Once per frame: runs what is due, then calls the notifications' handlers.
function Sdk:tick()
  check(self.C.tolba_sdk_tick(self.handle, self.out), "tick")
  local ran = self.out[0]
  local pending = self.pending
  self.pending = {}
  for _, n in ipairs(pending) do
    local payload = json.decode(n[2]) or {}
    for _, list in ipairs({self.handlers[n[1]] or {}, self.handlers["*"] or {}}) do
      for _, handler in ipairs(list) do handler(payload, n[1]) end
    end
  end
  return ran
end

-- The facade; each answers the result code (0 success).
function Sdk:init(config) return self.C.tolba_sdk_init(self.handle, json.encode(config)) end
function Sdk:login() return self.C.tolba_sdk_login(self.handle) end
function Sdk:logout() return self.C.tolba_sdk_logout(self.handle) end
function Sdk:realAuth() return self.C.tolba_sdk_real_auth(self.handle) end
function Sdk:updateRoleInfo(role, isCreate) return self.C.tolba_sdk_update_role(self.handle, json.encode(role), isCreate and 1 or 0) end
function Sdk:payOrderInfo(order, role) return self.C.tolba_sdk_pay(self.handle, json.encode(order), json.encode(role)) end
function Sdk:showToolBar(place) return self.C.tolba_sdk_show_toolbar(self.handle, place or 0) end
function Sdk:hideToolBar() return self.C.tolba_sdk_hide_toolbar(self.handle) end

local function readText(self, read)
  local capacity = 4096
  while true do
    local buffer = ffi.new("char[?]", capacity)
    local length = ffi.new("size_t[1]")
    local result = read(self.handle, buffer, capacity, length)
    if result == 0 then return ffi.string(buffer, length[0]) end
    if result ~= -1006 then check(result, "read") end
    capacity = tonumber(length[0]) + 1
  end
end

function Sdk:session() return json.decode(readText(self, self.C.tolba_sdk_session)) end

function Sdk:applicationEvent(name)
  answered(self, self.C.tolba_sdk_application_event(self.handle, assert(appEvents[name], name), self.out), "application_event")
end

-- --- The screen layer ----------------------------------------------------------------
-- width and height in points; orientation 1 portrait, 3 or 4 landscape.
function Sdk:setScreen(width, height, scale, orientation)
  local screen = ffi.new("tolba_screen", {width = width, height = height, scale = scale or 1,
                                          orientation = orientation or (width > height and 3 or 1)})
  check(self.C.tolba_host_set_screen(self.handle, screen), "set_screen")
end

function Sdk:touch(finger, phase, x, y)
  return answered(self, self.C.tolba_host_touch(self.handle, finger, assert(phases[phase], phase), x, y, self.out), "touch")
end
function Sdk:textInput(text) return answered(self, self.C.tolba_host_text_input(self.handle, text, self.out), "text_input") end
function Sdk:textEditing(text, cursor)
  return answered(self, self.C.tolba_host_text_editing(self.handle, text, cursor or 0, self.out), "text_editing")
end
-- LÖVE's key names: "backspace", "return", "tab", "escape"; others are not the SDK's.
function Sdk:key(name)
  local key = keys[name]
  return key ~= nil and answered(self, self.C.tolba_host_key(self.handle, key, self.out), "key")
end
function Sdk:wantsTextInput() return answered(self, self.C.tolba_host_wants_text_input(self.handle, self.out), "wants_text_input") end
function Sdk:hasContent() return answered(self, self.C.tolba_host_has_content(self.handle, self.out), "has_content") end
function Sdk:needsRedraw() return answered(self, self.C.tolba_host_needs_redraw(self.handle, self.out), "needs_redraw") end
-- What the player sees: {kind, text, x, y, width, height, focused, on} each.
function Sdk:elements() return json.decode(readText(self, self.C.tolba_host_elements)) or {} end

-- Addresses the SDK opens in another application ("weixin://..."): `handler(url)`
-- answers whether it opened it.
function Sdk:setOpenUrlHandler(handler)
  if self.openUrlCallback then self.openUrlCallback:free() end
  self.openUrlCallback = handler and ffi.cast("tolba_open_url_fn", function(url)
    return handler(ffi.string(url)) and 1 or 0
  end) or nil
  check(self.C.tolba_host_set_open_url_callback(self.handle, self.openUrlCallback, nil), "set_open_url_callback")
end

-- In LÖVE: the SDK's layer as an Image, redrawn and uploaded (only the changed
-- rectangle) when the SDK asks; nil when the layer is empty. Draw it with
-- love.graphics.setBlendMode("alpha", "premultiplied").
function Sdk:layer()
  if not self:hasContent() then return nil end
  local w, h = ffi.new("int32_t[1]"), ffi.new("int32_t[1]")
  check(self.C.tolba_host_pixel_size(self.handle, w, h), "pixel_size")
  local width, height = w[0], h[0]
  if width <= 0 or height <= 0 then return nil end
  if not self.pixels or self.pixels:getWidth() ~= width or self.pixels:getHeight() ~= height then
    self.pixels = love.image.newImageData(width, height, "rgba8")
    self.image = love.graphics.newImage(self.pixels)
    check(self.C.tolba_host_redraw_all(self.handle), "redraw_all")
  end
  if self:needsRedraw() then
    local x, y, dw, dh = ffi.new("int32_t[1]"), ffi.new("int32_t[1]"), ffi.new("int32_t[1]"), ffi.new("int32_t[1]")
    check(self.C.tolba_host_dirty_rect(self.handle, x, y, dw, dh), "dirty_rect")
    local pointer = ffi.cast("uint8_t*", self.pixels:getFFIPointer())
    local result = self.C.tolba_host_draw(self.handle, pointer, width, height, width * 4)
    if result ~= 0 then check(result, "draw") end
    if dw[0] > 0 and dh[0] > 0 and (dw[0] < width or dh[0] < height) then
      local part = love.image.newImageData(dw[0], dh[0], "rgba8")
      part:paste(self.pixels, 0, 0, x[0], y[0], dw[0], dh[0])
      self.image:replacePixels(part, nil, nil, x[0], y[0])
    else
      self.image:replacePixels(self.pixels)
    end
  end
  return self.image
end

return tolba
