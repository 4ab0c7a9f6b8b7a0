-- Arrays in both directions: native arrays as userdata, Lua tables as arrays and hashes that
-- native code reads and writes in place.
local check = require("check")

-- Native to Lua.
local numbers = Shapes.Script.Range(4)
check.equal(#numbers, 4, "length")
check.equal(numbers[1], 1, "first item")
check.equal(numbers[4], 4, "last item")
check.equal(numbers[5], nil, "beyond the end")
check.equal(numbers[0], nil, "before the start")
local sum = 0
for _, n in ipairs(numbers) do sum = sum + n end
check.equal(sum, 10, "ipairs")
check.equal(numbers:count(), 4, "count()")
check.equal(numbers:item(2), 2, "item()")

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
check.fails(function() numbers:add("seven") end,
            {"Bad cast from type String to type long."})
numbers:clear()
check.equal(#numbers, 0, "cleared")

local canvas = Shapes.Canvas.new()
canvas:AddAll({Shapes.Circle.new(1, "a"), Shapes.Rectangle.new(1, 2, "b")})
local names = canvas:Names()
check.equal(names[1] .. names[2], "ab", "array of strings")
local shapes = canvas:Shapes()
check.equal(shapes[2].Kind, "rectangle", "array of objects")
check.equal(shapes[2]:IsSquare(), false, "methods of array items")

-- Lua to native.
check.equal(Shapes.Script.Sum({1, 2.5, 3}), 6.5, "sequence read by native code")
check.equal(Shapes.Script.Sum({}), 0, "empty table")
local list = {"x"}
Shapes.Script.Append(list, "y")
Shapes.Script.Append(list, canvas)
check.equal(#list, 3, "native code appended to the table")
check.equal(list[2], "y", "appended string")
check.truthy(list[3] == canvas, "appended object")
check.truthy(Shapes.Script.Echo(list) == list, "a table comes back as itself")

local keys = Shapes.Script.Keys({zeta = 1, alpha = 2, [1] = "skipped", mid = false})
check.equal(#keys, 3, "string keys")
check.equal(table.concat({keys[1], keys[2], keys[3]}, ","), "alpha,mid,zeta", "sorted keys")

canvas:Restyle({color = "blue", prefix = "new "})
check.equal(shapes[1].Color, "blue", "hash value converted by native code")
check.equal(shapes[1].Name, "new a", "hash value read by native code")
check.fails(function() canvas:AddAll({1, 2}) end, {"Bad cast from type long to type Shapes::Shape."})
print("arrays ok")
