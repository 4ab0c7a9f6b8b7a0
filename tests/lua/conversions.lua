-- Values between Lua and native code, and the conversions of arguments with and without
-- loss-of-precision notices.
local check = require("check")
local Script = Shapes.Script

-- What native code receives, and what comes back.
local circle = Shapes.Circle.new(1)
for _, row in ipairs({{5, "long"}, {-2147483648, "long"}, {2147483648, "double"}, {1.5, "double"},
                      {true, "bool"}, {"text", "String"}, {nil, "void"}, {circle, "Shapes::Shape"},
                      {{1, 2}, "VelmorandScript::IArray"}, {{}, "VelmorandScript::IArray"},
                      {{a = 1}, "VelmorandScript::IHash"}}) do
    check.equal(Script.TypeOf(row[1]), row[2], tostring(row[1]))
end
for _, value in ipairs({2^40, 0.25, false, "grüße, 世界", print}) do
    check.equal(Script.Echo(value), value, "round trip of " .. tostring(value))
end
check.equal(math.type(Script.Echo(42)), "integer", "integer round trip")
check.equal(Script.Echo(nil), nil, "nil round trip")
check.equal(Script.Int(-7), -7, "int result")

-- Precise conversions are silent.
local seen = check.warnings(function()
    check.equal(Script.Int(2.0), 2, "2.0 as int")
    check.equal(Script.Byte(255), 255, "255 as unsigned char")
    check.equal(Script.Int("12"), 12, "text parsed as int")
end)
check.equal(#seen, 0, "warnings of precise conversions")

-- Lossy ones warn the script and go on.
seen = check.warnings(function()
    check.equal(Script.Int(2.5), 2, "2.5 as int")
    check.equal(Script.Byte(300), 44, "300 as unsigned char")
end)
check.equal(#seen, 2, "warnings of lossy conversions")
check.equal(seen[1],
            "Loss of precision in conversion from double to int (original value 2.5 converted to 2).",
            "first warning")
check.truthy(seen[2]:find("from long to unsigned char (original value 300", 1, true), seen[2])

-- The int parameter of Scale.
seen = check.warnings(function() circle:Scale(2.5) end)
check.equal(#seen, 1, "warning of Scale(2.5)")
check.near(circle.Radius, 2, "scaled by 2")

-- A failed conversion names the argument and the function.
check.fails(function() circle:Move(1, "far") end,
            {"Failed to convert the string value far to double",
             "(argument #2, calling Shapes::Circle::Move)."})
check.fails(function() circle:Move(1, true) end,
            {"No valid conversion from bool to double (argument #2, calling Shapes::Circle::Move)."})

-- The module's own conversions: colours as text, black from the value creator.
check.equal(Shapes.Rectangle.new(1, 2).Color, "black", "default colour from the value creator")
check.equal(Shapes.Rectangle.new(1, 2, "r", "#102030").Color, "#102030", "colour argument")
circle.Color = "red"
check.equal(circle.Color, "red", "colour property")
check.fails(function() circle.Color = "mauve" end,
            {"Unknown color 'mauve'", "(argument #1, calling Shapes::Circle::Color)."})
print("conversions ok")
