-- Native code calling back into the script: callbacks, calls by name and warnings.
--   velmorand-lua examples/callbacks.lua

local canvas = Shapes.Canvas.new()
canvas:AddAll({Shapes.Circle.new(1, "pebble"), Shapes.Circle.new(4, "pond"),
               Shapes.Rectangle.new(3, 3, "tile")})

-- A Lua function handed to a native function, which calls it for each shape.
canvas:ForEach(function(shape, index)
    print(string.format("#%d %-8s area %6.2f", index, shape.Name, shape.Area))
end)
local large = canvas:Select(function(shape) return shape.Area > 5 end)
print(#large .. " shapes are larger than 5")

-- Native code may call a global function by its name.
function greet(name) return "hello, " .. name end
print(Shapes.Script.Call("greet", "native code"))

-- Warnings go to the handler set with velmorand.on_event; it receives (kind, text).
velmorand.on_event(function(kind, text) print("handler got warning (kind " .. kind .. "): " .. text) end)
Shapes.Script.Warn("the paint is wet")
Shapes.Circle.new(1):Scale(1.5)

-- An error in a callback travels through native code back to the script.
local ok, message = pcall(canvas.ForEach, canvas, function() error("stopped by the callback") end)
print("ForEach failed: " .. tostring(not ok) .. ", " .. message)
