-- The context's script-side operations: variables, the script's name, arguments.
local check = require("check")

-- arg and ... as the lua program sets them (the test runner passes "first second").
check.truthy(arg[0]:find("context.lua$"), "arg[0] is the script")
check.equal(arg[1], "first", "arg[1]")
check.equal(arg[2], "second", "arg[2]")
check.truthy(arg[-1]:find("velmorand%-lua$"), "arg[-1] is the program")
local first, second = ...
check.equal(first .. second, "firstsecond", "script varargs")

-- Globals as native code sees them.
answer = 42
check.equal(Shapes.Script.Get("answer"), 42, "read a global")
check.equal(Shapes.Script.Get("undefined_global"), nil, "missing global")
Shapes.Script.Set("created", "by native code")
check.equal(created, "by native code", "global set by native code")
local circle = Shapes.Circle.new(1)
Shapes.Script.Set("shape", circle)
check.truthy(shape == circle, "object set as global")
Shapes.Script.Set("shape", nil)
check.equal(shape, nil, "global cleared")

-- The handler lives under its documented name.
local function handler() end
velmorand.on_event(handler)
check.equal(_G["VelmorandScript::EVENT_HANDLER_ROUTINE"], handler, "handler global")
check.equal(velmorand.on_event(nil), handler, "on_event returns the previous handler")
check.fails(function() velmorand.on_event(5) end, {"velmorand.on_event expects a function or nil."})

check.truthy(Shapes.Script.Name():find("context.lua (Lua)", 1, true), Shapes.Script.Name())
print("context ok")
