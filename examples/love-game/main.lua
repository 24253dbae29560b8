-- A small LÖVE game hosting the Tolba SDK through its C interface (LuaJIT's FFI):
-- a title scene with a button for each of the facade's calls, the SDK's layer
-- drawn over it, and the engine's input handed to the SDK first.
--
--   love examples/love-game [--base-url URL] [--autoplay] [--account NAME --password PW]
--                           [--screenshot FILE.png]
--
-- The SDK's library (libtolba-sdk.so) must be on the loader's path
-- (LD_LIBRARY_PATH). --autoplay plays a journey through LÖVE's own event queue
-- (synthetic mouse, text and key events) and exits 0 when every notification
-- arrived as expected.
local source = love.filesystem.getSource()
package.path = source .. "/../../bindings/lua/?.lua;" .. package.path
local tolba = require("tolba")
local autoplay = require("autoplay")

local sdk
local log = {}
local buttons = {}
local options = {baseUrl = os.getenv("TOLBA_TEST_BASE_URL"), account = os.getenv("TOLBA_TEST_ACCOUNT"),
                 password = os.getenv("TOLBA_TEST_PASSWORD")}

local function say(line)
  print("[game] " .. line)
  table.insert(log, 1, line)
  if #log > 12 then table.remove(log) end
end

local role = {serverId = "s1", serverName = "一区", gameRoleID = "r1", gameRoleName = "勇者", gameUserLevel = "1",
              vipLevel = "0", gameUserBalance = "0", partyName = ""}

local function button(label, action)
  buttons[#buttons + 1] = {label = label, action = action, x = 40, y = 120 + #buttons * 56, w = 295, h = 44}
end

local function writeConfig(dir, url)
  local file = assert(io.open(dir .. "/Tolba.plist", "w"))
  file:write('<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>' ..
             '<key>gameid</key><string>1001</string>' ..
             (url and ('<key>url</key><string>' .. url .. '</string>') or '') .. '</dict></plist>\n')
  file:close()
end

-- Unattended, an error ends the game (LÖVE would show it and wait).
local showError = love.errorhandler
function love.errorhandler(message)
  if options.autoplay then
    print("[game] error: " .. tostring(message) .. "\n" .. debug.traceback())
    os.exit(1)
  end
  return showError(message)
end

function love.load(args)
  for i = 1, #args do
    if args[i] == "--base-url" then options.baseUrl = args[i + 1] end
    if args[i] == "--autoplay" then options.autoplay = true end
    if args[i] == "--account" then options.account = args[i + 1] end
    if args[i] == "--password" then options.password = args[i + 1] end
    if args[i] == "--screenshot" then options.screenshot = args[i + 1] end
  end
  local dir = love.filesystem.getSaveDirectory()
  love.filesystem.createDirectory("sdk")
  dir = dir .. "/sdk"
  writeConfig(dir, options.baseUrl)
  sdk = tolba.new{bundle = dir, data = dir}
  sdk:setScreen(love.graphics.getWidth(), love.graphics.getHeight(), love.graphics.getDPIScale())
  sdk:setOpenUrlHandler(function(url) return love.system.openURL(url) end)
  sdk:on("*", function(payload, name) say(name:gsub("kTolbaSDKNoti", "") .. " " .. tostring(payload.error)) end)
  love.graphics.setFont(love.graphics.newFont(16))

  button("Init", function() return sdk:init{gameid = "1001"} end)
  button("Login", function() return sdk:login() end)
  button("Report role", function() return sdk:updateRoleInfo(role, true) end)
  button("Buy 60 gems (6 coins)", function()
    return sdk:payOrderInfo({goodsID = "gems60", productName = "60 gems", cpOrderID = "love-" .. os.time() .. "-" ..
                      math.random(100000), count = 1, amount = 6}, role)
  end)
  button("Logout", function() return sdk:logout() end)
  if options.autoplay then autoplay.start(sdk, buttons, options) end
end

function love.update(dt)
  sdk:tick()
  love.keyboard.setTextInput(sdk:wantsTextInput())
  if options.autoplay then autoplay.update(dt) end
end

function love.draw()
  love.graphics.clear(0.13, 0.16, 0.22)
  love.graphics.setColor(1, 1, 1)
  love.graphics.printf("Tolba SDK in LÖVE " .. tolba.version(), 0, 40, love.graphics.getWidth(), "center")
  for _, b in ipairs(buttons) do
    love.graphics.setColor(0.25, 0.45, 0.85)
    love.graphics.rectangle("fill", b.x, b.y, b.w, b.h, 8)
    love.graphics.setColor(1, 1, 1)
    love.graphics.printf(b.label, b.x, b.y + 12, b.w, "center")
  end
  for i, line in ipairs(log) do love.graphics.print(line, 20, 420 + i * 18) end
  local layer = sdk:layer()
  if layer then
    love.graphics.setColor(1, 1, 1)
    love.graphics.setBlendMode("alpha", "premultiplied")
    love.graphics.draw(layer, 0, 0, 0, 1 / love.graphics.getDPIScale())
    love.graphics.setBlendMode("alpha")
  end
end

-- Input goes to the SDK first; what it does not take is the game's.
function love.mousepressed(x, y, b, istouch)
  if istouch then return end
  sdk:touch(1, "began", x, y)
end
function love.mousemoved(x, y, dx, dy, istouch)
  if not istouch and love.mouse.isDown(1) then sdk:touch(1, "moved", x, y) end
end
function love.mousereleased(x, y, b, istouch)
  if istouch then return end
  if sdk:touch(1, "ended", x, y) then return end
  for _, button in ipairs(buttons) do
    if x >= button.x and x <= button.x + button.w and y >= button.y and y <= button.y + button.h then
      say("tapped " .. button.label)
      local result = button.action()
      if result ~= 0 then
        say(button.label .. " answered " .. tolba.resultName(result))
        if options.autoplay then love.event.quit(1) end
      end
    end
  end
end
-- Fingers get numbers of their own (the mouse is finger 1).
local fingers, nextFinger = {}, 2
local function finger(id)
  if not fingers[id] then fingers[id], nextFinger = nextFinger, nextFinger + 1 end
  return fingers[id]
end
function love.touchpressed(id, x, y) sdk:touch(finger(id), "began", x, y) end
function love.touchmoved(id, x, y) sdk:touch(finger(id), "moved", x, y) end
function love.touchreleased(id, x, y)
  sdk:touch(finger(id), "ended", x, y)
  fingers[id] = nil
end
function love.textinput(text) sdk:textInput(text) end
function love.textedited(text, start) sdk:textEditing(text, start) end
function love.keypressed(key) sdk:key(key) end
function love.focus(focused) sdk:applicationEvent(focused and "didBecomeActive" or "willResignActive") end
function love.quit() sdk:destroy() end
