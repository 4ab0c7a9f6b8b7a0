-- expect-exit: 2
-- expect-stderr: Loss of precision in conversion from double to int (original value 2.5 converted to 2).
-- expect-stdout: before abort
-- reject-stdout: after abort
-- A handler that returns the integer 0 aborts the script; pcall and xpcall cannot stop it.
velmorand.on_event(function(kind, text) return 0 end)
print("before abort")
local circle = Shapes.Circle.new(1)
local ok = pcall(xpcall, function() circle:Scale(2.5) end, function() return "handled" end)
print("after abort", ok)
