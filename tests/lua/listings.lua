-- The library's listings: classes, a class's functions, a function's arguments.
local check = require("check")

local names = {}
for _, class in ipairs(velmorand.classes()) do names[#names + 1] = class.name end
local listed = table.concat(names, ",")
assert(listed:find("Shapes::Canvas,Shapes::Circle,Shapes::Rectangle", 1, true), listed)

local circle = velmorand.class("Shapes::Circle")
check.equal(circle.base .. " " .. circle.module, "Shapes::Shape Shapes", "base and module")
check.equal(velmorand.class("Shapes::Nothing"), nil, "unknown class")

-- Functions of the class and its base, by name and style.
local functions = {}
for _, f in ipairs(circle:functions()) do functions[f.name .. "/" .. f.style] = f end
assert(functions["Radius/property set"] and functions["Unit/static"], "own functions listed")
local renamed = functions["Description/instance"]
check.equal(renamed.deprecation .. " " .. renamed.replacement, "Renamed Describe", "deprecation")
check.equal(renamed.style_bits, 0x202, "style bits of a deprecated function")
check.equal(functions["Move/command"].class, "Shapes::Shape", "inherited function's class")

-- Arguments, without a return value of script type void.
local arguments = functions["Circle/constructor"]:arguments()
check.equal(#arguments, 3, "constructor arguments")
check.equal(arguments[1].script_type .. " " .. tostring(arguments[1].optional), "double false",
            "required argument")
check.equal(arguments[2].default .. " " .. arguments[2].type, "\"circle\" String",
            "optional argument")
check.equal(arguments[3].script_type, "Shapes::Circle", "return value")
check.equal(#functions["Move/command"]:arguments(), 2, "void return value left out")
