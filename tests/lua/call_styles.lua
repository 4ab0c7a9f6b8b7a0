-- Every call style: constructor, static function, instance function, command, property get and
-- set, output arguments, and functions inherited from a base class.
local check = require("check")

local circle = Shapes.Circle.new(2, "wheel")
check.equal(circle.Name, "wheel", "property get")
check.near(circle.Radius, 2, "property of the derived class")
check.near(circle.Area, math.pi * 4, "inherited property get")
check.equal(Shapes.Circle.new(1).Name, "circle", "optional argument's default value")

circle.Radius = 3
check.near(circle.Radius, 3, "property set")
circle.Name = "hub"
check.equal(circle.Name, "hub", "inherited property set")

check.equal(circle:Move(1, 2), nil, "a command returns nothing")
check.near(circle.X, 1, "command changed the object")
check.equal(circle:Describe(), "circle 'hub' at (1, 2), area 28.2743", "instance function")

check.near(Shapes.Circle.Unit().Radius, 1, "static function without arguments")
check.near(Shapes.Circle.FromDiameter(10).Radius, 5, "static function with an argument")

local rectangle = Shapes.Rectangle.new(3, 4)
local width, height = rectangle:GetSize()
check.equal(width, 3.0, "first output argument")
check.equal(height, 4.0, "second output argument")
check.equal(rectangle:IsSquare(), false, "bool result")
check.equal(Shapes.Rectangle.new(2, 2):IsSquare(), true, "bool result")

-- A method value can be called later with any object of a fitting class.
local describe = circle.Describe
check.equal(describe(rectangle), "rectangle 'rectangle' at (0, 0), area 12", "method value")

-- Objects compare by the native object they present.
local canvas = Shapes.Canvas.new()
canvas:Add(circle)
check.truthy(canvas:Shapes()[1] == circle, "same native object")
check.truthy(canvas:Shapes()[1] ~= rectangle, "different native objects")
check.truthy(tostring(circle):find("^Shapes::Circle: 0x"), "tostring names the class")
print("call styles ok")
