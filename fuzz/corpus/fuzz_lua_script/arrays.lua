-- Arrays in both directions.
--   velmorand-lua examples/arrays.lua

-- A native array (here of numbers) is userdata: #a, a[i] from 1, ipairs, and the methods
-- count, item, add, insert, delete, replace and clear.
local numbers = Shapes.Script.Range(5)
print("Range(5) has " .. #numbers .. " items; the third is " .. numbers[3])
numbers:add(6)
numbers:delete(1)
numbers[1] = 20
local items = {}
for _, n in ipairs(numbers) do items[#items + 1] = n end
print("after add(6), delete(1), [1] = 20: " .. table.concat(items, ", "))

-- A Lua sequence handed to native code is an array over the table itself.
print("Sum({1, 2, 3.5}) = " .. Shapes.Script.Sum({1, 2, 3.5}))
local list = {"a"}
Shapes.Script.Append(list, "b")
print("native code appended to the Lua table: " .. table.concat(list, ", "))

-- A table with keys is a hash; native code reads its string keys.
local keys = Shapes.Script.Keys({width = 1, height = 2, depth = 3})
print("Keys: " .. keys[1] .. ", " .. keys[2] .. ", " .. keys[3])

-- Arrays of objects.
local canvas = Shapes.Canvas.new()
canvas:AddAll({Shapes.Circle.new(1, "sun"), Shapes.Rectangle.new(2, 3, "box")})
for index, shape in ipairs(canvas:Shapes()) do
    print(index .. ": " .. shape:Describe())
end
