-- Tables and arrays as scripts use them: every string key of a hash comes through once and
-- byte for byte, arrays take float indexes and pairs, callable tables serve as callbacks.
local check = require("check")

local keys = Shapes.Script.Keys({[""] = 1, a = 2, b = 3, c = 4})
check.equal(table.concat(keys, ","), ",a,b,c", "the empty key among the others")
keys = Shapes.Script.Keys({["\xff"] = 1, ["\u{FFFD}"] = 2, ["caf\xc3\xa9"] = 3})
local seen = {}
for i = 1, #keys do seen[keys[i]] = true end
check.equal(#keys, 3, "an invalid byte and U+FFFD are distinct keys")
check.equal(seen["\xff"] and seen["\u{FFFD}"] and seen["caf\xc3\xa9"], true, "keys byte for byte")
for _, text in ipairs({"a\xffb\0c", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xc0\xaf", "\xe2\x82"}) do
    check.equal(Shapes.Script.Echo(text), text, "a string that is no valid UTF-8 round trips")
end

local numbers = Shapes.Script.Range(3)
check.equal(numbers[1.0], 1, "a float index")
check.equal(numbers[4 / 2], 2, "a computed float index")
check.equal(numbers[1.5], nil, "an index with a fraction holds nothing")
numbers[2.0] = 20
numbers[4.0] = 4
check.equal(numbers[2] + #numbers, 24, "assignments through float indexes")
check.fails(function() numbers[1.5] = 0 end, {"Arrays are indexed by integers, not by 1.5."})
local walked = {}
for i, n in pairs(numbers) do walked[#walked + 1] = i .. "=" .. n end
check.equal(table.concat(walked, ","), "1=1,2=20,3=3,4=4", "pairs walks an array in order")

local canvas = Shapes.Canvas.new()
canvas:AddAll({Shapes.Circle.new(1, "one"), Shapes.Circle.new(2, "two")})
local names = {}
local collector = setmetatable({}, {__call = function(self, shape) names[#names + 1] = shape.Name end})
check.equal(canvas:ForEach(collector), 2, "a table with __call is a callback")
check.equal(table.concat(names, ","), "one,two", "the callable table was called")
