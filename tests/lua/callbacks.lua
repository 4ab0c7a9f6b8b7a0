-- Native code calling back into Lua functions.
local check = require("check")

local canvas = Shapes.Canvas.new("board")
canvas:AddAll({Shapes.Circle.new(1, "small"), Shapes.Circle.new(3, "large"),
               Shapes.Rectangle.new(2, 5, "plank")})

local visited = {}
check.equal(canvas:ForEach(function(shape, index) visited[index] = shape.Name end), 3,
            "number of callbacks")
check.equal(table.concat(visited, ","), "small,large,plank", "callback arguments")

local large = canvas:Select(function(shape) return shape.Area > 5 end)
check.equal(#large, 2, "selected shapes")
check.equal(large[1].Name, "large", "first selected")
check.equal(large[2].Name, "plank", "second selected")

-- Callbacks may call native code again, and see the script's upvalues.
local total = 0
canvas:ForEach(function(shape) total = total + Shapes.Script.Echo(shape).Area end)
check.near(total, canvas.TotalArea, "nested calls")

-- A global function called by name, with a result.
function double(x) return x * 2 end
check.equal(Shapes.Script.Call("double", 21), 42, "call by name")
check.fails(function() Shapes.Script.Call("no_such_function", 1) end,
            {"No script function named no_such_function."})

-- A Lua error in a callback travels through native code back to the script unchanged.
local ok, err = pcall(canvas.ForEach, canvas, function() error({reason = "stop"}) end)
check.equal(ok, false, "callback error")
check.equal(err.reason, "stop", "original error value")
check.fails(function() canvas:ForEach(function() error("broken callback") end) end,
            {"broken callback"})

-- Something that is not a function.
check.fails(function() canvas:ForEach(42) end,
            {"The callback is not a function the script can call."})

-- Warnings reach the handler; without one they are dropped.
local seen = check.warnings(function()
    check.equal(Shapes.Script.Warn("low on ink"), true, "handler took the warning")
end)
check.equal(seen[1], "low on ink", "warning text")
local previous = velmorand.on_event(nil)
check.equal(Shapes.Script.Warn("nobody listens"), false, "no handler")
velmorand.on_event(previous)

-- A handler that returns anything but the integer 0 lets the script go on.
velmorand.on_event(function() return 1 end)
check.equal(Shapes.Script.Warn("ignored"), true, "handler returned 1")
velmorand.on_event(function() return 0.0 end)
check.equal(Shapes.Script.Warn("ignored"), true, "handler returned a float 0")
velmorand.on_event(previous)
print("callbacks ok")
