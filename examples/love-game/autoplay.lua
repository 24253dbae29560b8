-- The autoplay of the LÖVE game: a player's journey played through the engine's
-- own input path (events pushed into LÖVE's queue, as a real mouse and keyboard
-- would send them). Quits with status 0 when every notification arrived as
-- expected, 1 at the first step that does not happen in time.
local autoplay = {}

local sdk, buttons, options
local steps, current, waited, heard = {}, 1, 0, {}
local kStepSeconds = 20

local function find(kind, text)
  for _, e in ipairs(sdk:elements()) do
    if e.kind == kind and (text == nil or e.text == text) then return e end
  end
end

local function tapAt(x, y)
  love.event.push("mousepressed", x, y, 1, false, 1)
  love.event.push("mousereleased", x, y, 1, false, 1)
end

-- Each step answers true when done; it is asked again every frame until then.
local function tapGame(label)
  return {"taps " .. label, function()
    for _, b in ipairs(buttons) do
      if b.label == label then tapAt(b.x + b.w / 2, b.y + b.h / 2); return true end
    end
  end}
end
local function tap(kind, text)
  return {"taps " .. kind .. " " .. (text or ""), function()
    local e = find(kind, text)
    if e then tapAt(e.x + e.width / 2, e.y + e.height / 2); return true end
  end}
end
local function waitFor(kind, text)
  return {"waits for " .. kind .. " " .. text, function() return find(kind, text) ~= nil end}
end
local function typeText(text, shown)
  return {"types " .. (shown or (#text .. " bytes")), function()
    if not sdk:wantsTextInput() then return false end
    love.event.push("textinput", text)
    return true
  end}
end
local function key(name)
  return {"presses " .. name, function() love.event.push("keypressed", name, name, false); return true end}
end
local function hear(name, error)
  return {"waits for " .. name, function()
    for i, n in ipairs(heard) do
      if n.name == name then
        table.remove(heard, i)
        if (n.payload.error or 0) ~= error then
          print(string.format("[autoplay] %s came with error %s, not %s", name, tostring(n.payload.error), error))
          love.event.quit(1)
        end
        return true
      end
    end
  end}
end
local function screenshot(path)
  return {"takes a screenshot", function()
    if not path then return true end
    love.graphics.captureScreenshot(function(data)
      local file = io.open(path, "wb")
      if file then file:write(data:encode("png"):getString()); file:close() end
    end)
    return true
  end}
end

function autoplay.start(theSdk, theButtons, theOptions)
  sdk, buttons, options = theSdk, theButtons, theOptions
  sdk:on("*", function(payload, name) heard[#heard + 1] = {name = name, payload = payload} end)
  steps = {
    tapGame("Init"), hear("kTolbaSDKNotiInitDidFinished", 0),
    tapGame("Login"), waitFor("button", "登录"),
    tap("field", "请输入账号"), typeText(options.account, '"' .. options.account .. '"'),
    tap("field", "请输入密码"), typeText(options.password),
    key("escape"), tap("switch"), tap("button", "登录"), hear("kTolbaSDKNotiLogin", 0),
    tapGame("Report role"),
    tapGame("Buy 60 gems (6 coins)"), waitFor("button", "支付6平台币"), screenshot(options.screenshot),
    tap("button", "支付6平台币"), hear("kTolbaSDKNotiRecharge", 0),
    tapGame("Logout"), hear("kTolbaSDKNotiLogout", 0),
  }
  print("[autoplay] " .. #steps .. " steps against " .. tostring(options.baseUrl))
end

function autoplay.update(dt)
  local step = steps[current]
  if not step then
    print("[autoplay] every notification arrived as expected")
    love.event.quit(0)
    steps = {}
    return
  end
  waited = waited + dt
  -- One step a frame, so that pushed events are handled before the next.
  if step[2]() then
    print("[autoplay] player " .. step[1])
    current, waited = current + 1, 0
  elseif waited > kStepSeconds then
    print("[autoplay] the player " .. step[1] .. ": nothing after " .. kStepSeconds .. " s")
    love.event.quit(1)
    steps = {}
  end
end

return autoplay
