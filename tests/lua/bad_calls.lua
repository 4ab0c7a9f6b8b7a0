-- The error texts of calls that cannot be made; each is a Lua error that pcall catches.
local check = require("check")

local circle = Shapes.Circle.new(1)
local canvas = Shapes.Canvas.new()
check.fails(function() return circle:Spin() end,
            {"Shapes::Circle has no property or method named 'Spin'."})
check.fails(function() circle.Area = 3 end,
            {"Shapes::Circle has no settable property named 'Area'."})
check.fails(function() return Shapes.Circle.Spin() end,
            {"Shapes::Circle has no static function named 'Spin'"})
check.fails(function() return Shapes.Shape.new() end, {"Shapes::Shape has no constructor"})
check.fails(function() return circle.Describe() end,
            {"Call the method 'Describe' on an object with ':'"})
-- Argument counts are checked in lua_host_test.cpp.

-- nil where an object is needed, an object of the wrong class, values without a native form.
check.fails(function() canvas:Add(nil) end,
            {"Expected Shapes::Shape, got nil (argument #1, calling Shapes::Canvas::Add)."})
check.fails(function() canvas:Add(canvas) end,
            {"No valid conversion from Shapes::Canvas to Shapes::Shape (argument #1"})
check.fails(function() Shapes.Script.Echo(coroutine.create(print)) end,
            {"A Lua thread value cannot be handed to native code."})
check.fails(function() Shapes.Script.Echo(io.stdout) end,
            {"A Lua userdata value cannot be handed to native code."})
-- The host's coroutine.wrap raises as Lua's own: the caller's position before a text, the
-- coroutine's to-be-closed variables closed, other error values as they are.
local closed = false
local failing = coroutine.wrap(function()
    local guard <close> = setmetatable({}, {__close = function() closed = true end})
    error("inside", 0)
end)
check.fails(function() failing() end, {"bad_calls.lua:", ": inside"})
check.equal(closed, true, "to-be-closed variable of a failed wrapped coroutine")
local thrown = {}
check.equal(select(2, pcall(coroutine.wrap(function() error(thrown) end))), thrown, "error value")
local counter = coroutine.wrap(function(first) return coroutine.yield(first + 1) * 2 end)
check.equal(counter(1) + counter(5), 12, "values through a wrapped coroutine")
