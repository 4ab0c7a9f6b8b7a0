-- Every call style: constructor, static and instance functions, command, property get and set,
-- output arguments, inherited functions, and method values kept per class.
local check = require("check")

local circle = Shapes.Circle.new(2, "wheel")
check.equal(circle.Name, "wheel", "property get")
check.equal(circle.Area, math.pi * 4, "inherited property get")
circle.Radius = 3
circle.Name = "hub"
check.equal(circle.Radius .. circle.Name, "3.0hub", "property set, own and inherited")
check.equal(circle:Move(1, 2), nil, "a command returns nothing")
check.equal(circle:Describe(), "circle 'hub' at (1, 2), area 28.2743", "instance function")
check.equal(Shapes.Circle.Unit().Radius, 1.0, "static function without arguments")
check.equal(Shapes.Circle.FromDiameter(10).Radius, 5.0, "static function with an argument")

local rectangle = Shapes.Rectangle.new(3, 4)
local width, height = rectangle:GetSize()
check.equal(width * 10 + height, 34.0, "output arguments")
check.equal(rectangle:IsSquare(), false, "bool result")

-- A method value runs on any object of a fitting class, looked up in that object's class.
local describe = circle.Describe
check.equal(describe(rectangle), "rectangle 'rectangle' at (0, 0), area 12", "method value")
check.fails(function() return describe(42) end, {"Call the method 'Describe' on an object"})
local canvas = Shapes.Canvas.new()
local add = canvas.Add
check.fails(function() return add(circle, rectangle) end,
            {"Shapes::Circle has no function named 'Add'"})
add(canvas, circle)

-- Objects compare by the native object they present.
check.equal(canvas:Shapes()[1], circle, "same native object")
assert(canvas:Shapes()[1] ~= rectangle, "different native objects")
assert(tostring(circle):find("^Shapes::Circle: 0x"), "tostring names the class")
