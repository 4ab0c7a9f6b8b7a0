-- expect-exit: 2
-- expect-stderr: Loss of precision in conversion from double to int (original value 2.5 converted to 2).
-- expect-stdout: before abort
-- reject-stdout: after abort
-- A handler that returns the integer 0 aborts the script, also from a callback under native code;
-- neither pcall nor xpcall can stop it.
local canvas = Shapes.Canvas.new()
canvas:Add(Shapes.Circle.new(1))
velmorand.on_event(function() return 0 end)
print("before abort")
pcall(canvas.ForEach, canvas, function(circle)
    local ok = pcall(xpcall, function() circle:Scale(2.5) end, function() return "handled" end)
    print("after abort in callback", ok)
end)
print("after abort")
