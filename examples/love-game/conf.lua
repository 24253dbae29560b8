function love.conf(t)
  t.identity = "tolba-love-game"
  t.window.title = "Tolba SDK in LÖVE"
  t.window.width = 375
  t.window.height = 667
  t.modules.audio = false
  t.modules.sound = false
  t.modules.joystick = false
  t.modules.physics = false
end
