-- The context's script-side operations: variables, the script's name, arguments.
local check = require("check")

-- arg and ... as the lua program sets them (the test runner passes "first second").
assert(arg[0]:find("context.lua$") and arg[-1]:find("velmorand%-lua$"), "arg[0] and arg[-1]")
local first, second = ...
check.equal(arg[1] .. arg[2] .. first .. second, "firstsecondfirstsecond", "arguments")

-- Globals as native code sets them.
local circle = Shapes.Circle.new(1)
Shapes.Script.Set("shape", circle)
check.equal(shape, circle, "object set as global")
Shapes.Script.Set("shape", nil)
check.equal(shape, nil, "global cleared")

-- The handler lives under its documented name.
local function handler() end
velmorand.on_event(handler)
check.equal(_G["VelmorandScript::EVENT_HANDLER_ROUTINE"], handler, "handler global")
check.equal(velmorand.on_event(nil), handler, "on_event returns the previous handler")
check.fails(function() velmorand.on_event(5) end, {"velmorand.on_event expects a function or nil."})
assert(Shapes.Script.Name():find("context.lua (Lua)", 1, true), Shapes.Script.Name())
