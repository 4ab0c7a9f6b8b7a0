-- Native code calling back into Lua functions, and warnings offered to the script's handler.
local check = require("check")

local canvas = Shapes.Canvas.new("board")
canvas:AddAll({Shapes.Circle.new(1, "small"), Shapes.Circle.new(3, "large"),
               Shapes.Rectangle.new(2, 5, "plank")})
local visited = {}
check.equal(canvas:ForEach(function(shape, index) visited[index] = shape.Name end), 3, "calls")
check.equal(table.concat(visited, ","), "small,large,plank", "callback arguments")
check.equal(#canvas:Select(function(shape) return shape.Area > 5 end), 2, "callback results")
-- A callback that grows the canvas (moving its storage) visits only the shapes there were.
local grower = Shapes.Canvas.new()
grower:AddAll({Shapes.Circle.new(1), Shapes.Circle.new(2)})
check.equal(grower:ForEach(function(shape) grower:AddAll({shape, shape, shape}) end), 2, "growth")
check.equal(#grower:Select(function(shape) grower:Add(shape) return true end), 8, "growth")

-- Callbacks may call native code again.
local total = 0
canvas:ForEach(function(shape) total = total + Shapes.Script.Echo(shape).Area end)
check.equal(total, canvas.TotalArea, "nested calls")
check.fails(function() Shapes.Script.Call("no_such_function", 1) end,
            {"No script function named no_such_function."})
check.fails(function() canvas:ForEach(42) end,
            {"The callback is not a function the script can call."})

-- A Lua error in a callback travels through native code back to the script unchanged.
local ok, err = pcall(canvas.ForEach, canvas, function() error({reason = "stop"}) end)
check.equal(err.reason, "stop", "original error value")

-- Only the integer 0 aborts; value_conversion_test.cpp covers the other answers.
velmorand.on_event(function() return 0.0 end)
check.equal(Shapes.Script.Warn("ignored"), true, "handler returned a float 0")
