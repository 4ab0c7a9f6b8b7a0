-- Arrays in both directions: native arrays as userdata, Lua tables as arrays and hashes that
-- native code reads and writes in place.
local check = require("check")

local numbers = Shapes.Script.Range(4)
check.equal(#numbers, 4, "length")
check.equal(numbers[0], nil, "before the start")
local sum = 0
for _, n in ipairs(numbers) do sum = sum + n end
check.equal(sum, 10, "ipairs")
numbers:add(5)
numbers:insert(1, 0)
numbers:delete(2)
numbers:replace(1, 10)
numbers[#numbers + 1] = 6
numbers[2] = 20
local items = {}
for i = 1, #numbers do items[i] = numbers[i] end
check.equal(table.concat(items, ","), "10,20,3,4,5,6", "edited native array")
check.fails(function() numbers[9] = 1 end, {"Array index 9 is out of range 1..7."})
check.fails(function() numbers:add("seven") end, {"Bad cast from type String to type long."})

local canvas = Shapes.Canvas.new()
canvas:AddAll({Shapes.Circle.new(1, "a"), Shapes.Rectangle.new(1, 2, "b")})
local shapes = canvas:Shapes()
check.equal(canvas:Names()[2] .. shapes[2].Kind, "brectangle", "arrays of strings and objects")
check.fails(function() canvas:AddAll({1, 2}) end, {"Bad cast from type long to type Shapes::Shape."})

check.equal(Shapes.Script.Sum({1, 2.5, 3}), 6.5, "sequence read by native code")
local list = {"x"}
Shapes.Script.Append(list, canvas)
check.equal(list[2], canvas, "native code appended to the table")
check.equal(Shapes.Script.Echo(list), list, "a table comes back as itself")
local keys = Shapes.Script.Keys({zeta = 1, alpha = 2, [1] = "skipped", mid = false})
check.equal(table.concat(keys, ","), "alpha,mid,zeta", "string keys")
canvas:Restyle({color = "blue", prefix = "new "})
check.equal(shapes[1].Color .. shapes[1].Name, "bluenew a", "hash values read by native code")
