-- expect-exit: 2
-- expect-stderr: stop here
-- reject-stdout: after abort
-- An abort raised inside a callback crosses native code and every pcall on its way out.
local canvas = Shapes.Canvas.new()
canvas:Add(Shapes.Circle.new(1))
velmorand.on_event(function() return 0 end)
pcall(function()
    canvas:ForEach(function()
        local ok = pcall(Shapes.Script.Warn, "stop here")
        print("after abort in callback", ok)
    end)
end)
print("after abort")
