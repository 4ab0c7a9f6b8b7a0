-- Methods resolved once are kept per class: other objects of the class reach them, and a method
-- value taken from an object of one class does not run its function on an object of another.
-- expect-stdout: method cache ok
local check = require("check")

local first = Shapes.Circle.new(1, "first")
local second = Shapes.Circle.new(2, "second")
check.truthy(first:Describe():find("'first'"), "resolved on the first object")
check.truthy(second:Describe():find("'second'"), "kept method on another object of the class")
check.truthy(first:Describe():find("'first'"), "kept method on the first object again")

-- Canvas's Add is no method of a circle, whichever object it was resolved on.
local canvas = Shapes.Canvas.new()
local add = canvas.Add
check.fails(function() return add(first, second) end,
            {"Shapes::Circle has no function named 'Add'"})
add(canvas, first)
check.equal(#canvas:Shapes(), 1, "the method value still runs on objects of its class")

-- A circle's method value on a rectangle is looked up in the rectangle's class.
local describe = first.Describe
check.truthy(describe(Shapes.Rectangle.new(3, 4)):find("^rectangle"), "method value, other class")
check.fails(function() return describe(42) end, {"Call the method 'Describe' on an object"})
print("method cache ok")
