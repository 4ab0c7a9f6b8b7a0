-- A guided tour of the sample module through the Lua host: run it with
--   velmorand-lua examples/shapes.lua
-- Each step prints what it does; warnings from native code show up as "warning: ...".

local function step(title)
    print()
    print("== " .. title)
end

-- Warnings (loss of precision, deprecations) come to this handler as (kind, text).
velmorand.on_event(function(kind, text)
    print("   warning: " .. text)
end)

step("Constructors: Shapes.Circle.new and Shapes.Rectangle.new")
local wheel = Shapes.Circle.new(2, "wheel")
local door = Shapes.Rectangle.new(1, 2.5, "door", "#8b4513")
local coin = Shapes.Circle.new(0.5)  -- the name is optional: "circle"
print("   " .. wheel:Describe())
print("   " .. door:Describe())
print("   " .. coin:Describe())

step("Properties: obj.P reads, obj.P = v writes")
print("   wheel.Radius = " .. wheel.Radius .. ", wheel.Area = " .. string.format("%.2f", wheel.Area))
wheel.Radius = 3
coin.Name = "coin"
coin.Color = "yellow"
print("   after wheel.Radius = 3: area " .. string.format("%.2f", wheel.Area))
print("   coin is now " .. coin.Color .. " and named " .. coin.Name)

step("Instance functions and commands: obj:F(...)")
door:Move(4, 0)
print("   door moved: " .. door:Describe())
local width, height = door:GetSize()
print("   door:GetSize() returns two values: " .. width .. " x " .. height)
print("   door:IsSquare() = " .. tostring(door:IsSquare()))

step("Static functions: Shapes.Circle.F(...)")
local unit = Shapes.Circle.Unit()
print("   Shapes.Circle.Unit() has radius " .. unit.Radius)
print("   Shapes.Circle.FromDiameter(8) has radius " .. Shapes.Circle.FromDiameter(8).Radius)

step("Conversions: an int parameter given 2.5 warns and uses 2")
unit:Scale(2.5)
print("   unit radius after Scale(2.5): " .. unit.Radius)
print("   a text where a number is expected is parsed: Move(\"1.5\", 0)")
unit:Move("1.5", 0)
print("   " .. unit:Describe())

step("Deprecated functions")
print("   Description() was renamed to Describe(); it warns and runs the new function:")
print("   " .. coin:Description())
print("   Rotate() was removed; calling it fails:")
local ok, message = pcall(function() coin:Rotate() end)
print("   " .. tostring(ok) .. ": " .. message)

step("A collection: Shapes.Canvas takes Lua tables and returns arrays")
local canvas = Shapes.Canvas.new("garden")
canvas:Add(wheel)
canvas:AddAll({door, coin, unit})
print("   canvas.Count = " .. canvas.Count)
local shapes = canvas:Shapes()
print("   canvas:Shapes() is an array of " .. #shapes .. " objects:")
for index, shape in ipairs(shapes) do
    print(string.format("     %d. %s %s", index, shape.Kind, shape.Name))
end
print("   the array's items are the canvas's shapes: " .. tostring(shapes[1] == wheel))

step("Callbacks: native code calls Lua functions")
canvas:ForEach(function(shape, index)
    print(string.format("     visiting #%d: %s (perimeter %.2f)", index, shape.Name, shape.Perimeter))
end)
local round = canvas:Select(function(shape) return shape.Kind == "circle" end)
print("   canvas:Select(is a circle) found " .. #round .. " shapes")

step("Hashes: a Lua table with keys")
canvas:Restyle({color = "green", prefix = "garden "})
print("   after Restyle: " .. shapes[2].Name .. " is " .. shapes[2].Color)

step("Errors: bad calls raise Lua errors that pcall catches")
for _, attempt in ipairs({
    function() return wheel:Spin() end,
    function() return Shapes.Circle.new() end,
    function() return canvas:Add(nil) end,
    function() return wheel:Move(1, "far") end,
}) do
    local _, text = pcall(attempt)
    print("   " .. text)
end

step("Listings: velmorand.classes(), functions(), arguments()")
for _, class in ipairs(velmorand.classes()) do
    if class.name:find("^Shapes::") then
        print("   " .. class.name .. (class.base and (" : " .. class.base) or ""))
    end
end
for _, f in ipairs(velmorand.class("Shapes::Rectangle"):functions()) do
    if f.style == "constructor" then
        local parts = {}
        for _, argument in ipairs(f:arguments()) do
            if argument.style & 4 ~= 0 then  -- the return value
                break
            end
            local text = argument.name .. ": " .. argument.script_type
            if argument.optional then
                text = text .. " = " .. argument.default
            end
            parts[#parts + 1] = text
        end
        print("   constructor Shapes.Rectangle.new(" .. table.concat(parts, ", ") .. ")")
    end
end

print()
print("Tour complete.")
