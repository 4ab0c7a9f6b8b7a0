-- Static functions, constructors and property getters are resolved when first used and kept
-- (in the class table, in the class's method cache): every later use behaves as the first.
local check = require("check")

-- Each call of a kept static function or constructor takes its own arguments, and its errors
-- name the function as the first call's did.
local Circle = Shapes.Circle
for diameter = 2, 6, 2 do
    check.equal(Circle.FromDiameter(diameter).Radius, diameter / 2, "static call " .. diameter)
    check.equal(Circle.new(diameter, "c" .. diameter).Name, "c" .. diameter,
                "constructor call " .. diameter)
end
for _ = 1, 2 do
    check.fails(function() return Circle.FromDiameter("wide") end,
                {"(argument #1, calling Shapes::Circle::FromDiameter)."})
    check.fails(function() return Circle.FromDiameter(1, 2) end,
                {"Too many arguments: the function takes 1 (argument #2, calling " ..
                 "Shapes::Circle::FromDiameter)."})
    check.fails(function() return Circle.new() end,
                {"Missing argument 'radius' (argument #1, calling Shapes::Circle::Circle)."})
    check.fails(function() return Circle.Spin() end,
                {"Shapes::Circle has no static function named 'Spin'"})
    check.fails(function() return Shapes.Shape.new() end, {"Shapes::Shape has no constructor"})
    check.fails(function() return Shapes.Script.Fail("boom") end, {": boom"})
end
check.equal(Shapes.Script.Name(), Shapes.Script.Name(), "a kept static with a context argument")

-- A kept getter reads the object it is used on, as it is at the read.
local a, b = Circle.new(1, "a"), Circle.new(2, "b")
for _ = 1, 2 do
    check.equal(a.Radius + b.Radius * 10, 21.0, "each object's own value")
end
a.Radius = 5
check.equal(a.Radius, 5.0, "the value after a set")
-- Inherited getters are kept per class: each class's objects run their own override.
local rectangle = Shapes.Rectangle.new(3, 4)
for _ = 1, 2 do
    check.equal(a.Area, math.pi * 25, "a circle's area")
    check.equal(rectangle.Area, 12.0, "a rectangle's area")
end
-- Properties still come before methods, and a missing member still fails after kept ones.
check.equal(type(a.Describe), "function", "a method next to kept getters")
check.fails(function() return a.Spin end,
            {"Shapes::Circle has no property or method named 'Spin'."})

-- A kept getter meets an object whose native part was released (its userdata collected, then
-- brought back by a finalizer).
local ghost
local keeper = setmetatable({}, {__gc = function(self) ghost = self.circle end})
keeper.circle = Shapes.Circle.new(1, "ghost")  -- finalized before the keeper, made after it
keeper = nil
collectgarbage()
collectgarbage()
check.fails(function() return ghost.Radius end, {"The native object has been released"})
check.fails(function() return ghost.Name end, {"The native object has been released"})
