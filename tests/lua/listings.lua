-- The library's listings: classes, a class's functions, a function's arguments.
local check = require("check")

local names = {}
for _, class in ipairs(velmorand.classes()) do names[#names + 1] = class.name end
local listed = table.concat(names, ",")
check.truthy(listed:find("Shapes::Canvas,Shapes::Circle,Shapes::Rectangle", 1, true), listed)
check.truthy(listed:find("VelmorandScript::Array", 1, true), listed)

local circle = velmorand.class("Shapes::Circle")
check.equal(circle.name, "Shapes::Circle", "class name")
check.equal(circle.base, "Shapes::Shape", "base class")
check.equal(circle.module, "Shapes", "introducing module")
check.equal(circle.hidden, false, "visible")
check.equal(velmorand.class("Shapes::Nothing"), nil, "unknown class")

-- Functions of the class and its base, by name and style.
local functions = {}
for _, f in ipairs(circle:functions()) do
    functions[f.name .. "/" .. f.style] = f
end
check.truthy(functions["Circle/constructor"], "constructor listed")
check.truthy(functions["Radius/property get"], "own property listed")
check.truthy(functions["Radius/property set"], "property set listed")
check.truthy(functions["Move/command"], "inherited command listed")
check.truthy(functions["Unit/static"], "static function listed")
local renamed = functions["Description/instance"]
check.equal(renamed.deprecation, "Renamed", "deprecation kind")
check.equal(renamed.replacement, "Describe", "new name")
check.equal(renamed.style_bits, 0x202, "style bits of a deprecated function")
check.equal(functions["Move/command"].class, "Shapes::Shape", "owning class")
check.equal(functions["Move/command"].deprecation, nil, "not deprecated")

-- Arguments, without the return value of script type void.
local arguments = functions["Circle/constructor"]:arguments()
check.equal(#arguments, 3, "constructor arguments")
check.equal(arguments[1].name, "radius", "first argument")
check.equal(arguments[1].script_type, "double", "script type")
check.equal(arguments[1].optional, false, "required")
check.equal(arguments[2].name, "name", "second argument")
check.equal(arguments[2].optional, true, "optional")
check.equal(arguments[2].default, "\"circle\"", "default value")
check.equal(arguments[2].type, "String", "native type")
check.equal(arguments[3].script_type, "Shapes::Circle", "return value")
check.equal(#functions["Move/command"]:arguments(), 2, "void return value left out")

check.equal(velmorand.style_name(0x22), "instance | command", "style names")
check.equal(velmorand.style_name(0), "[empty]", "no style")
print("listings ok")
