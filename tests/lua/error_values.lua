-- Errors raised in callbacks come back as they were raised, and say where; error texts name
-- values in script words.
local check = require("check")

local canvas = Shapes.Canvas.new()
canvas:AddAll({Shapes.Circle.new(1)})
local ok, err = pcall(canvas.ForEach, canvas, function() error(42) end)
check.equal(math.type(err), "integer", "a number raised in a callback stays a number")
check.equal(err, 42, "its value")
ok, err = pcall(canvas.ForEach, canvas, function() error(nil) end)
check.equal(ok or err, nil, "nil raised in a callback")

local function failing() error("deep in the callback") end
local trace = select(2, xpcall(canvas.ForEach, debug.traceback, canvas, failing))
check.equal(trace:find("error_values.lua:13: in function <", 1, true) ~= nil, true,
            "debug.traceback shows the callback's frames:\n" .. trace)

check.fails(function() Shapes.Script.Int(function() end) end,
            {"No valid conversion from function to int (argument #1"})
check.fails(function() Shapes.Script.Int({}) end, {"No valid conversion from table to int"})
check.fails(function() Shapes.Script.Int({x = 1}) end, {"No valid conversion from table to int"})
check.fails(function() Shapes.Script.Int("a\0b") end,
            {"Failed to convert the string value a\\0b to int", "(argument #1"})
local ok, message = pcall(Shapes.Script.Int, string.rep("x", 1000000))
check.equal(#message < 1000 and message:find("(argument #1", 1, true) ~= nil, true,
            "a long value is cut in the message: " .. #message .. " bytes")
