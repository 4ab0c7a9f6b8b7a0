-- Values between Lua and native code, and argument conversions with their notices and errors.
local check = require("check")
local Script = Shapes.Script

local circle = Shapes.Circle.new(1)
for _, row in ipairs({{-2147483648, "long"}, {2147483648, "double"}, {true, "bool"},
                      {"text", "String"}, {nil, "void"}, {circle, "Shapes::Shape"},
                      {{1, 2}, "VelmorandScript::IArray"}, {{a = 1}, "VelmorandScript::IHash"}}) do
    check.equal(Script.TypeOf(row[1]), row[2], tostring(row[1]))
end
for _, value in ipairs({2^40, false, "grüße, 世界", print}) do
    check.equal(Script.Echo(value), value, "round trip of " .. tostring(value))
end
check.equal(math.type(Script.Echo(42)), "integer", "integer round trip")

-- Precise conversions are silent; lossy ones warn the script and go on.
local seen = check.warnings(function()
    check.equal(Script.Int(2.0) + Script.Byte(255) + Script.Int("12"), 269, "precise")
    check.equal(Script.Int(2.5) + Script.Byte(300), 46, "lossy")
    circle:Scale(2.5)
end)
check.equal(#seen, 3, "warnings of lossy conversions")
assert(seen[3]:find("^[^:]*conversions%.lua:%d+: calling Shapes::Circle::Scale: Loss of precision"),
       seen[3])
check.equal(circle.Radius, 2.0, "scaled by 2")

-- A failed conversion names the argument and the function.
check.fails(function() circle:Move(1, "far") end,
            {"Failed to convert the string value far to double",
             "(argument #2, calling Shapes::Circle::Move)."})

-- The module's own conversions: colours as text, black from the value creator.
check.equal(Shapes.Rectangle.new(1, 2).Color, "black", "default colour from the value creator")
circle.Color = "red"
check.equal(circle.Color, "red", "colour property")
check.fails(function() circle.Color = "mauve" end,
            {"Unknown color 'mauve'", "(argument #1, calling Shapes::Circle::Color)."})
